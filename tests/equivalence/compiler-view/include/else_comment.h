#ifndef ELSE_H
#define ELSE_H
int first;
#/*
*/else
int again;
#endif
