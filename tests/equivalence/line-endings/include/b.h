#ifndef B_H
#define B_H
int b;
#endif
