#include <util_config.h>
#ifndef UTIL_H
#define UTIL_H
int util;
#endif
