#if !defined( SPACED_H )
#define SPACED_H
int spaced;
#endif
