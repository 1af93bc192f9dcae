/* A compiler ends a line at a lone carriage return: the string below is
   cut short there and what follows opens a comment, which the x comment
   below closes. A guard around that include would unbalance the file. */
#include <a.h>
#define S "/*"
#include <d.h> /* x */
int main;
#include <b.h>