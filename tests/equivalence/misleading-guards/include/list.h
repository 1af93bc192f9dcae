#ifndef LIST_H
#define LIST_H
int c_list;
#endif
