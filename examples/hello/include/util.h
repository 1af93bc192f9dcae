/*
 * util.h: the common guard style.
 */
#ifndef UTIL_H
#define UTIL_H

static int util_twice(int x) { return 2 * x; }

#endif /* UTIL_H */
