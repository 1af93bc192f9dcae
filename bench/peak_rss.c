/* Reports a process's own peak memory, for bench/run --memory: loaded with
 * LD_PRELOAD, it appends "PID PEAK_KIB EXE" to the file PEAK_RSS_LOG when
 * each process ends (VmHWM, from /proc/self/status). /usr/bin/time's %M
 * is the larger of a process's peak and its children's, so under --verify
 * it would report the compiler's. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

__attribute__((destructor)) static void report(void) {
    const char* log = getenv("PEAK_RSS_LOG");
    char line[256], exe[4096];
    unsigned long kib = 0;
    ssize_t length;
    FILE* status;
    FILE* out;
    if (!log || !(status = fopen("/proc/self/status", "r"))) return;
    while (fgets(line, sizeof line, status))
        if (strncmp(line, "VmHWM:", 6) == 0) kib = strtoul(line + 6, NULL, 10);
    fclose(status);
    length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    exe[length > 0 ? length : 0] = '\0';
    if (!(out = fopen(log, "a"))) return;
    fprintf(out, "%ld %lu %s\n", (long)getpid(), kib, exe);
    fclose(out);
}
