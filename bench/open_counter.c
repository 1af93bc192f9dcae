/* Counts the regular files a preprocessor opens for reading below BENEFIT_ROOT, and
 * their bytes, for bench/benefit: loaded with LD_PRELOAD, it appends
 * "OPENS BYTES" to the file BENEFIT_LOG when each process ends (a compiler
 * driver and its cc1 write a line each). No strace is needed. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static unsigned long long opens, bytes;

static void note(const char* path) {
    const char* root = getenv("BENEFIT_ROOT");
    char full[8192];
    struct stat status;
    if (!root || !path) return;
    if (path[0] != '/') {
        if (!getcwd(full, sizeof full) || strlen(full) + strlen(path) + 2 > sizeof full) return;
        strcat(full, "/");
        strcat(full, path);
        path = full;
    }
    if (strncmp(path, root, strlen(root)) != 0) return;
    if (stat(path, &status) != 0 || !S_ISREG(status.st_mode)) return;
    ++opens;
    bytes += (unsigned long long)status.st_size;
}

/* The mode argument, which the variadic open functions take only with these flags. */
#define MODE_AFTER(flags, mode)                                                \
    do {                                                                       \
        if ((flags) & (O_CREAT | O_TMPFILE)) {                                 \
            va_list list;                                                      \
            va_start(list, flags);                                             \
            mode = (mode_t)va_arg(list, int);                                  \
            va_end(list);                                                      \
        }                                                                      \
    } while (0)

/* open(path) is openat(AT_FDCWD, path): one place counts both. */
#define OPEN_LIKE(name, at)                                                    \
    int name(const char* path, int flags, ...) {                               \
        mode_t mode = 0;                                                       \
        MODE_AFTER(flags, mode);                                               \
        return at(AT_FDCWD, path, flags, mode);                                \
    }

#define OPENAT_LIKE(name)                                                      \
    int name(int directory, const char* path, int flags, ...) {                \
        static int (*real)(int, const char*, int, ...);                        \
        mode_t mode = 0;                                                       \
        int fd;                                                                \
        MODE_AFTER(flags, mode);                                               \
        if (!real) real = (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, #name); \
        fd = real(directory, path, flags, mode);                               \
        if (fd >= 0 && (flags & O_ACCMODE) == O_RDONLY &&                      \
            (directory == AT_FDCWD || path[0] == '/'))                         \
            note(path);                                                        \
        return fd;                                                             \
    }
OPENAT_LIKE(openat)
OPENAT_LIKE(openat64)
OPEN_LIKE(open, openat)
OPEN_LIKE(open64, openat64)

#define FOPEN_LIKE(name)                                                       \
    FILE* name(const char* path, const char* mode) {                           \
        static FILE* (*real)(const char*, const char*);                        \
        FILE* file;                                                            \
        if (!real) real = (FILE* (*)(const char*, const char*))dlsym(RTLD_NEXT, #name); \
        file = real(path, mode);                                               \
        if (file && mode && mode[0] == 'r') note(path);                        \
        return file;                                                           \
    }
FOPEN_LIKE(fopen)
FOPEN_LIKE(fopen64)

__attribute__((destructor)) static void report(void) {
    const char* log = getenv("BENEFIT_LOG");
    char line[64];
    int fd, length;
    if (!log) return;
    /* One short write with O_APPEND: processes that end together never mix lines. */
    fd = open(log, O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (fd < 0) return;
    length = snprintf(line, sizeof line, "%llu %llu\n", opens, bytes);
    if (length > 0 && write(fd, line, (size_t)length) < 0) length = 0;
    close(fd);
}
