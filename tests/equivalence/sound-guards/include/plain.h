#ifndef PLAIN_H
#define PLAIN_H
int plain;
#endif
