/* Meant to be included again: CHECK follows NDEBUG each time. */
#undef CHECK
#ifdef NDEBUG
#define CHECK(x) ((void)0)
#else
#define CHECK(x) check_it(x)
#endif
#ifndef CHECK_H
#define CHECK_H
void check_it(int);
#endif
