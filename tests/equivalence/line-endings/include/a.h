#ifndef A_H
#define A_H
int a;
#endif
