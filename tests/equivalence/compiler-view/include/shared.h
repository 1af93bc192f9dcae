#ifndef SHARED_H
#define SHARED_H
int shared_a;
#endif
