/* vimbo: adds external include guards to C and C++ sources.

   The two functions a host calls. The library exports them under the C
   names _Vimbo_Line and _Vimbo_File (ordinals 1 and 2 of vimbo.dll), cdecl;
   this header lets a host call them as Vimbo_Line and Vimbo_File, linked
   by name or loaded at run time. */
#ifndef VIMBO_VIMBO_H
#define VIMBO_VIMBO_H

#include "vimbo/version.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define VIMBO_CALL __cdecl
#else
#define VIMBO_CALL
#endif

#if defined(__GNUC__) || defined(__clang__)
/* The declarations name the exported symbols themselves, with the
   platform's own prefix for C names (an underscore on 32-bit Windows). */
#define VIMBO_QUOTE_(text) #text
#define VIMBO_QUOTE(text) VIMBO_QUOTE_(text)
#define VIMBO_SYMBOL(name) __asm__(VIMBO_QUOTE(__USER_LABEL_PREFIX__) name)
#else
/* Compilers without symbol names of their own (MSVC) call the exported
   names directly. */
#define VIMBO_SYMBOL(name)
#define Vimbo_Line _Vimbo_Line
#define Vimbo_File _Vimbo_File
#endif

/* Rewrites one line. The result stays valid until the next call or until the
   library is unloaded; the host never frees it. A null line counts as "". A
   null include path keeps the one of the INCLUDE environment variable. */
const char* VIMBO_CALL Vimbo_Line(const char* includePath, const char* line)
    VIMBO_SYMBOL("_Vimbo_Line");

/* Rewrites a file in place; 1 when at least one include line was guarded. */
int VIMBO_CALL Vimbo_File(const char* includePath, const char* fileName, char makeBackup)
    VIMBO_SYMBOL("_Vimbo_File");

#ifdef __cplusplus
}
#endif

#endif
