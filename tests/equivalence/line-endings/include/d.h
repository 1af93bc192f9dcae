#ifndef D_H
#define D_H
int d;
#endif
