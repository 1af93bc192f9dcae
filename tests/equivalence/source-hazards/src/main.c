/* Every include text below but the first stands where the preprocessor
   does not take it for a directive of its own. A_H is defined by then, so
   a wrap in front of any of them would change what the compiler sees. */
#include <a.h>
void print(const char*);
void f(void) {
    print("#include <a.h>\n");
}
#define LINE "#include <a.h>"
#pragma message("see #include <a.h>")
int x; // #include <a.h>
/* old:
#include <a.h>
*/
#define X \
#include <a.h>
int after_continued = 1;
/* start
end */ #include <a.h>
int after_comment;
#include <a.h> \
  int continued_include;
#include <CFG.h>
#define CFG <cfg_impl.h>
#include CFG
int end_of_main;
