#ifndef HELPER_H
#define HELPER_H
int helper;
#endif
