#ifndef OTHER_H
#define OTHER_H
int other;
#endif
