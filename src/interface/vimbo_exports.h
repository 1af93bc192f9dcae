/* The two functions a host calls. The library exports them under the names
   _Vimbo_Line and _Vimbo_File. */
#ifndef VIMBO_EXPORTS_H
#define VIMBO_EXPORTS_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define VIMBO_CALL __cdecl
#define VIMBO_SYMBOL(name)
#else
#define VIMBO_CALL
#define VIMBO_SYMBOL(name) __asm__(name)
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
