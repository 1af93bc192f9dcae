#ifndef CRLF_H
#define CRLF_H
int crlf;
#endif
