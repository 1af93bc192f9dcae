#include <config.h>
#ifndef	TABBED_H
#define TABBED_H
int tabbed;
#endif
