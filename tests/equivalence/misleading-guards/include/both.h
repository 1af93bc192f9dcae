#include <config.h>
#include <other.h>
