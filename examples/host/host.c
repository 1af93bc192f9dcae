/* A host that links vimbo and calls both functions by name:
     host INCLUDE_PATH FILE LINE
   prints LINE rewritten, then rewrites FILE in place and prints whether
   anything was guarded. */
#include <stdio.h>

#include <vimbo/vimbo.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: host INCLUDE_PATH FILE LINE\n");
        return 2;
    }
    fputs(Vimbo_Line(argv[1], argv[3]), stdout);
    printf("guarded: %d\n", Vimbo_File(argv[1], argv[2], 0));
    printf("version: %s\n", VIMBO_VERSION_TEXT);
    return 0;
}
