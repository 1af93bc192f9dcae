#if !defined(NOTDEF_H)
#define NOTDEF_H
int notdef;
#endif
