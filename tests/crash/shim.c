/* An LD_PRELOAD library for the crash tests: it counts the calls a program
 * makes of chosen file-system functions and, at the N-th one, kills the
 * program, makes the call fail, cuts the power of an ext4 file system, or
 * plays another program that edits a file at that very instant.
 *
 *   VIMBO_SHIM_CALL    comma-separated calls to count: write, openat, close,
 *                      rename, renameat, renameat2, unlink, unlinkat, fsync,
 *                      fdatasync, syncfs, ftruncate, linkat ("openat" also
 *                      counts open, open64, openat64 and creat; "write" also
 *                      pwrite, pwrite64 and writev; "linkat" also link)
 *   VIMBO_SHIM_N       the count (from 1) at which to act; none: only log
 *   VIMBO_SHIM_WHEN    before (default) or after the call is made
 *   VIMBO_SHIM_ACTION  kill (SIGKILL), fail (return -1 with VIMBO_SHIM_ERRNO:
 *                      EIO, ENOSPC, EPERM or a number; "before" does not make
 *                      the call, "after" makes it and still reports failure),
 *                      shutdown (the ext4 shutdown ioctl on VIMBO_SHIM_MOUNT
 *                      with VIMBO_SHIM_FLAG, 1 = log flush (default), 2 = no
 *                      log flush, then SIGKILL), or edit (below)
 *   VIMBO_SHIM_PATH    count only calls that name a file of this base name
 *                      (for calls on a descriptor, the file it was opened as)
 *   VIMBO_SHIM_EDIT    for ACTION=edit: write (the bytes of VIMBO_SHIM_FROM
 *                      written over VIMBO_SHIM_TARGET in place), replace
 *                      (VIMBO_SHIM_FROM renamed over VIMBO_SHIM_TARGET, as an
 *                      editor saves) or unlink (VIMBO_SHIM_TARGET removed)
 *   VIMBO_SHIM_LOG     append one line per counted call (every call of the
 *                      kinds above when VIMBO_SHIM_CALL is unset)
 *   VIMBO_SHIM_NOTE    append one line naming the call acted on
 *
 * A failure of the shim itself (a bad setting, an ioctl refused) ends the
 * program with status 99, so that a harness never mistakes it for the
 * program's own behaviour. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

/* linux/ext4.h is not installed everywhere: _IOR('X', 125, __u32). */
#define SHIM_EXT4_IOC_SHUTDOWN _IOR('X', 125, unsigned int)
#define SHIM_FAILED 99

enum kind { K_WRITE, K_OPENAT, K_CLOSE, K_RENAME, K_RENAMEAT, K_RENAMEAT2, K_UNLINK, K_UNLINKAT,
            K_FSYNC, K_FDATASYNC, K_SYNCFS, K_FTRUNCATE, K_LINKAT, K_COUNT };
static const char* const kind_names[K_COUNT] = {"write", "openat", "close", "rename", "renameat", "renameat2",
                                                "unlink", "unlinkat", "fsync", "fdatasync", "syncfs",
                                                "ftruncate", "linkat"};

enum action { A_NONE, A_KILL, A_FAIL, A_SHUTDOWN, A_EDIT };

static struct {
    int ready;
    pid_t pid;
    int counted[K_COUNT];
    int any_counted;
    long n;
    int after;
    enum action action;
    int error;
    const char* mount;
    unsigned int flag;
    const char* path;
    const char* edit;
    const char* target;
    const char* from;
    int log_fd;
    const char* note;
} cfg;

static long seen;     /* calls counted so far, across threads */
static int acted;     /* the action is taken once */

static ssize_t (*real_write)(int, const void*, size_t);
static ssize_t (*real_pwrite)(int, const void*, size_t, off_t);
static ssize_t (*real_pwrite64)(int, const void*, size_t, off64_t);
static ssize_t (*real_writev)(int, const struct iovec*, int);
static int (*real_open)(const char*, int, ...);
static int (*real_open64)(const char*, int, ...);
static int (*real_openat)(int, const char*, int, ...);
static int (*real_openat64)(int, const char*, int, ...);
static int (*real_creat)(const char*, mode_t);
static int (*real_close)(int);
static int (*real_rename)(const char*, const char*);
static int (*real_renameat)(int, const char*, int, const char*);
static int (*real_renameat2)(int, const char*, int, const char*, unsigned int);
static int (*real_unlink)(const char*);
static int (*real_unlinkat)(int, const char*, int);
static int (*real_fsync)(int);
static int (*real_fdatasync)(int);
static int (*real_syncfs)(int);
static int (*real_ftruncate)(int, off_t);
static int (*real_ftruncate64)(int, off64_t);
static int (*real_link)(const char*, const char*);
static int (*real_linkat)(int, const char*, int, const char*, int);

static void die(const char* what) {
    char line[512];
    int len = snprintf(line, sizeof line, "vimbo-shim: %s\n", what);
    if (real_write && len > 0) real_write(2, line, (size_t)len);
    _exit(SHIM_FAILED);
}

static void* next(const char* name) {
    void* f = dlsym(RTLD_NEXT, name);
    if (!f) die(name);
    return f;
}

static int error_number(const char* text) {
    if (!text || !*text || strcmp(text, "EIO") == 0) return EIO;
    if (strcmp(text, "ENOSPC") == 0) return ENOSPC;
    if (strcmp(text, "EPERM") == 0) return EPERM;
    if (strcmp(text, "EACCES") == 0) return EACCES;
    if (strcmp(text, "EDQUOT") == 0) return EDQUOT;
    int number = atoi(text);
    if (number <= 0) die("VIMBO_SHIM_ERRNO: unknown error name");
    return number;
}

static void read_settings(void) {
    real_write = (ssize_t (*)(int, const void*, size_t))next("write");
    /* Only the program started counts: the programs it runs (git) find the
     * first one's number in their environment and leave their calls alone,
     * as does its child between fork and exec (see arrive). */
    cfg.pid = getpid();
    const char* first = getenv("VIMBO_SHIM_PID");
    char own[32];
    snprintf(own, sizeof own, "%ld", (long)cfg.pid);
    if (first && *first && strcmp(first, own) != 0) cfg.pid = 0;
    else setenv("VIMBO_SHIM_PID", own, 1);
    const char* calls = getenv("VIMBO_SHIM_CALL");
    if (calls && *calls) {
        char list[256];
        snprintf(list, sizeof list, "%s", calls);
        for (char *save = NULL, *word = strtok_r(list, ",", &save); word; word = strtok_r(NULL, ",", &save)) {
            int k = 0;
            while (k < K_COUNT && strcmp(word, kind_names[k]) != 0) ++k;
            if (k == K_COUNT) die("VIMBO_SHIM_CALL: unknown call");
            cfg.counted[k] = 1;
        }
    } else {
        for (int k = 0; k < K_COUNT; ++k) cfg.counted[k] = 1;
    }
    const char* n = getenv("VIMBO_SHIM_N");
    cfg.n = n && *n ? atol(n) : 0;
    const char* when = getenv("VIMBO_SHIM_WHEN");
    if (when && *when && strcmp(when, "before") != 0 && strcmp(when, "after") != 0) die("VIMBO_SHIM_WHEN: before or after");
    cfg.after = when && strcmp(when, "after") == 0;
    const char* action = getenv("VIMBO_SHIM_ACTION");
    if (!action || !*action || strcmp(action, "kill") == 0) cfg.action = A_KILL;
    else if (strcmp(action, "fail") == 0) cfg.action = A_FAIL;
    else if (strcmp(action, "shutdown") == 0) cfg.action = A_SHUTDOWN;
    else if (strcmp(action, "edit") == 0) cfg.action = A_EDIT;
    else die("VIMBO_SHIM_ACTION: kill, fail, shutdown or edit");
    if (cfg.n <= 0) cfg.action = A_NONE;
    cfg.error = error_number(getenv("VIMBO_SHIM_ERRNO"));
    cfg.mount = getenv("VIMBO_SHIM_MOUNT");
    const char* flag = getenv("VIMBO_SHIM_FLAG");
    cfg.flag = flag && *flag ? (unsigned int)atoi(flag) : 1u;
    cfg.path = getenv("VIMBO_SHIM_PATH");
    if (cfg.path && !*cfg.path) cfg.path = NULL;
    cfg.edit = getenv("VIMBO_SHIM_EDIT");
    cfg.target = getenv("VIMBO_SHIM_TARGET");
    cfg.from = getenv("VIMBO_SHIM_FROM");
    if (cfg.action == A_SHUTDOWN && !cfg.mount) die("VIMBO_SHIM_MOUNT is needed for shutdown");
    if (cfg.action == A_EDIT && (!cfg.edit || !cfg.target)) die("VIMBO_SHIM_EDIT and VIMBO_SHIM_TARGET are needed for edit");
    cfg.note = getenv("VIMBO_SHIM_NOTE");
    cfg.log_fd = -1;

    real_pwrite = (ssize_t (*)(int, const void*, size_t, off_t))next("pwrite");
    real_pwrite64 = (ssize_t (*)(int, const void*, size_t, off64_t))next("pwrite64");
    real_writev = (ssize_t (*)(int, const struct iovec*, int))next("writev");
    real_open = (int (*)(const char*, int, ...))next("open");
    real_open64 = (int (*)(const char*, int, ...))next("open64");
    real_openat = (int (*)(int, const char*, int, ...))next("openat");
    real_openat64 = (int (*)(int, const char*, int, ...))next("openat64");
    real_creat = (int (*)(const char*, mode_t))next("creat");
    real_close = (int (*)(int))next("close");
    real_rename = (int (*)(const char*, const char*))next("rename");
    real_renameat = (int (*)(int, const char*, int, const char*))next("renameat");
    real_renameat2 = (int (*)(int, const char*, int, const char*, unsigned int))next("renameat2");
    real_unlink = (int (*)(const char*))next("unlink");
    real_unlinkat = (int (*)(int, const char*, int))next("unlinkat");
    real_fsync = (int (*)(int))next("fsync");
    real_fdatasync = (int (*)(int))next("fdatasync");
    real_syncfs = (int (*)(int))next("syncfs");
    real_ftruncate = (int (*)(int, off_t))next("ftruncate");
    real_ftruncate64 = (int (*)(int, off64_t))next("ftruncate64");
    real_link = (int (*)(const char*, const char*))next("link");
    real_linkat = (int (*)(int, const char*, int, const char*, int))next("linkat");

    const char* log = getenv("VIMBO_SHIM_LOG");
    if (log && *log) {
        cfg.log_fd = real_open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (cfg.log_fd < 0) die("VIMBO_SHIM_LOG can't be opened");
    }
}

static void setup(void) {
    if (__atomic_load_n(&cfg.ready, __ATOMIC_ACQUIRE)) return;
    static int busy;
    /* One thread reads the settings; another that races it waits. */
    if (__atomic_exchange_n(&busy, 1, __ATOMIC_ACQ_REL)) {
        while (!__atomic_load_n(&cfg.ready, __ATOMIC_ACQUIRE)) {}
        return;
    }
    read_settings();
    __atomic_store_n(&cfg.ready, 1, __ATOMIC_RELEASE);
}

__attribute__((constructor)) static void shim_start(void) { setup(); }

/* What a call names, for matching VIMBO_SHIM_PATH and for the log. */
struct call {
    enum kind kind;
    const char* function;
    int fd;              /* for calls on a descriptor, else -1 */
    const char* path1;   /* for calls on names */
    const char* path2;
    long size;           /* bytes of a write, or -1 */
};

static const char* base_name(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

static void fd_name(int fd, char* out, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t got = readlink(link, out, size - 1);
    out[got > 0 ? got : 0] = '\0';
    if (got <= 0) snprintf(out, size, "fd %d", fd);
}

static int names_path(const struct call* c) {
    if (!cfg.path) return 1;
    if (c->fd >= 0) {
        char name[PATH_MAX];
        fd_name(c->fd, name, sizeof name);
        return strcmp(base_name(name), cfg.path) == 0;
    }
    return (c->path1 && strcmp(base_name(c->path1), cfg.path) == 0) ||
           (c->path2 && strcmp(base_name(c->path2), cfg.path) == 0);
}

static void describe(const struct call* c, long number, const char* tag, char* out, size_t size) {
    char name[PATH_MAX];
    if (c->fd >= 0) {
        fd_name(c->fd, name, sizeof name);
        if (c->size >= 0)
            snprintf(out, size, "%s %ld %s %s(%d %s, %ld bytes)\n", tag, number, kind_names[c->kind], c->function,
                     c->fd, name, c->size);
        else
            snprintf(out, size, "%s %ld %s %s(%d %s)\n", tag, number, kind_names[c->kind], c->function, c->fd, name);
    } else if (c->path2) {
        snprintf(out, size, "%s %ld %s %s(%s, %s)\n", tag, number, kind_names[c->kind], c->function, c->path1,
                 c->path2);
    } else {
        snprintf(out, size, "%s %ld %s %s(%s)\n", tag, number, kind_names[c->kind], c->function,
                 c->path1 ? c->path1 : "");
    }
}

static void append(const char* file, const char* line) {
    int fd = real_open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    real_write(fd, line, strlen(line));
    real_close(fd);
}

static int copy_file(const char* from, const char* to) {
    int in = real_open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0) return -1;
    int out = real_open(to, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) {
        real_close(in);
        return -1;
    }
    char buffer[65536];
    ssize_t got;
    int status = 0;
    while ((got = read(in, buffer, sizeof buffer)) > 0)
        if (real_write(out, buffer, (size_t)got) != got) status = -1;
    if (got < 0) status = -1;
    real_close(in);
    if (real_close(out) != 0) status = -1;
    return status;
}

static void edit(void) {
    int status;
    if (strcmp(cfg.edit, "write") == 0) status = cfg.from ? copy_file(cfg.from, cfg.target) : -1;
    else if (strcmp(cfg.edit, "replace") == 0) status = cfg.from ? real_rename(cfg.from, cfg.target) : -1;
    else if (strcmp(cfg.edit, "unlink") == 0) status = real_unlink(cfg.target);
    else die("VIMBO_SHIM_EDIT: write, replace or unlink");
    if (status != 0) die("the edit failed");
}

static void power_cut(void) {
    int fd = real_open(cfg.mount, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) die("VIMBO_SHIM_MOUNT can't be opened");
    unsigned int flag = cfg.flag;
    if (ioctl(fd, SHIM_EXT4_IOC_SHUTDOWN, &flag) != 0) die("the shutdown ioctl failed");
    kill(getpid(), SIGKILL);
}

/* Called before each call of a counted kind. Returns 1 when this call is
 * the one to act on. */
static int arrive(const struct call* c) {
    setup();
    if (!cfg.counted[c->kind] || getpid() != cfg.pid || !names_path(c)) return 0;
    long number = __atomic_add_fetch(&seen, 1, __ATOMIC_ACQ_REL);
    if (cfg.log_fd >= 0) {
        char line[2 * PATH_MAX + 128];
        describe(c, number, "call", line, sizeof line);
        real_write(cfg.log_fd, line, strlen(line));
    }
    if (cfg.action == A_NONE || number != cfg.n || __atomic_exchange_n(&acted, 1, __ATOMIC_ACQ_REL)) return 0;
    if (cfg.note) {
        char line[2 * PATH_MAX + 128];
        describe(c, number, cfg.after ? "after" : "before", line, sizeof line);
        append(cfg.note, line);
    }
    return 1;
}

/* The action before the call; returns 1 when the call is not to be made. */
static int act_before(int hit) {
    if (!hit || cfg.after) return 0;
    switch (cfg.action) {
    case A_KILL: kill(getpid(), SIGKILL); break;
    case A_SHUTDOWN: power_cut(); break;
    case A_EDIT: edit(); return 0;
    case A_FAIL: return 1;
    case A_NONE: break;
    }
    return 0;
}

/* The action after the call; returns 1 when the call is to report failure. */
static int act_after(int hit) {
    if (!hit || !cfg.after) return 0;
    switch (cfg.action) {
    case A_KILL: kill(getpid(), SIGKILL); break;
    case A_SHUTDOWN: power_cut(); break;
    case A_EDIT: edit(); return 0;
    case A_FAIL: return 1;
    case A_NONE: break;
    }
    return 0;
}

/* One wrapper body: count, act before, call, act after. */
#define WRAP(type, call_info, invoke)                       \
    do {                                                    \
        const struct call c = call_info;                    \
        int saved = errno;                                  \
        int hit = arrive(&c);                               \
        errno = saved;                                      \
        if (act_before(hit)) {                              \
            errno = cfg.error;                              \
            return (type)-1;                                \
        }                                                   \
        type result = invoke;                               \
        if (act_after(hit)) {                               \
            errno = cfg.error;                              \
            return (type)-1;                                \
        }                                                   \
        return result;                                      \
    } while (0)

#define ON_FD(k, f, fd, n) ((struct call){k, f, fd, NULL, NULL, n})
#define ON_PATH(k, f, p) ((struct call){k, f, -1, p, NULL, -1})
#define ON_PATHS(k, f, p, q) ((struct call){k, f, -1, p, q, -1})

static mode_t mode_argument(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(args, int) : 0;
}

ssize_t write(int fd, const void* data, size_t size) {
    WRAP(ssize_t, ON_FD(K_WRITE, "write", fd, (long)size), real_write(fd, data, size));
}
ssize_t pwrite(int fd, const void* data, size_t size, off_t at) {
    WRAP(ssize_t, ON_FD(K_WRITE, "pwrite", fd, (long)size), real_pwrite(fd, data, size, at));
}
ssize_t pwrite64(int fd, const void* data, size_t size, off64_t at) {
    WRAP(ssize_t, ON_FD(K_WRITE, "pwrite64", fd, (long)size), real_pwrite64(fd, data, size, at));
}
ssize_t writev(int fd, const struct iovec* parts, int count) {
    long size = 0;
    for (int i = 0; i < count; ++i) size += (long)parts[i].iov_len;
    WRAP(ssize_t, ON_FD(K_WRITE, "writev", fd, size), real_writev(fd, parts, count));
}
int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    WRAP(int, ON_PATH(K_OPENAT, "open", path), real_open(path, flags, mode));
}
int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    WRAP(int, ON_PATH(K_OPENAT, "open64", path), real_open64(path, flags, mode));
}
int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    WRAP(int, ON_PATH(K_OPENAT, "openat", path), real_openat(dir, path, flags, mode));
}
int openat64(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    WRAP(int, ON_PATH(K_OPENAT, "openat64", path), real_openat64(dir, path, flags, mode));
}
int creat(const char* path, mode_t mode) { WRAP(int, ON_PATH(K_OPENAT, "creat", path), real_creat(path, mode)); }
int close(int fd) { WRAP(int, ON_FD(K_CLOSE, "close", fd, -1), real_close(fd)); }
int rename(const char* from, const char* to) {
    WRAP(int, ON_PATHS(K_RENAME, "rename", from, to), real_rename(from, to));
}
int renameat(int fromDir, const char* from, int toDir, const char* to) {
    WRAP(int, ON_PATHS(K_RENAMEAT, "renameat", from, to), real_renameat(fromDir, from, toDir, to));
}
int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) {
    WRAP(int, ON_PATHS(K_RENAMEAT2, "renameat2", from, to), real_renameat2(fromDir, from, toDir, to, flags));
}
int unlink(const char* path) { WRAP(int, ON_PATH(K_UNLINK, "unlink", path), real_unlink(path)); }
int unlinkat(int dir, const char* path, int flags) {
    WRAP(int, ON_PATH(K_UNLINKAT, "unlinkat", path), real_unlinkat(dir, path, flags));
}
int fsync(int fd) { WRAP(int, ON_FD(K_FSYNC, "fsync", fd, -1), real_fsync(fd)); }
int fdatasync(int fd) { WRAP(int, ON_FD(K_FDATASYNC, "fdatasync", fd, -1), real_fdatasync(fd)); }
int syncfs(int fd) { WRAP(int, ON_FD(K_SYNCFS, "syncfs", fd, -1), real_syncfs(fd)); }
int ftruncate(int fd, off_t size) {
    WRAP(int, ON_FD(K_FTRUNCATE, "ftruncate", fd, -1), real_ftruncate(fd, size));
}
int ftruncate64(int fd, off64_t size) {
    WRAP(int, ON_FD(K_FTRUNCATE, "ftruncate64", fd, -1), real_ftruncate64(fd, size));
}
/* What a build with _FORTIFY_SOURCE calls for an open without a mode. */
int __open_2(const char* path, int flags) { WRAP(int, ON_PATH(K_OPENAT, "__open_2", path), real_open(path, flags)); }
int __open64_2(const char* path, int flags) {
    WRAP(int, ON_PATH(K_OPENAT, "__open64_2", path), real_open64(path, flags));
}
int __openat_2(int dir, const char* path, int flags) {
    WRAP(int, ON_PATH(K_OPENAT, "__openat_2", path), real_openat(dir, path, flags));
}
int __openat64_2(int dir, const char* path, int flags) {
    WRAP(int, ON_PATH(K_OPENAT, "__openat64_2", path), real_openat64(dir, path, flags));
}
int link(const char* from, const char* to) { WRAP(int, ON_PATHS(K_LINKAT, "link", from, to), real_link(from, to)); }
int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    WRAP(int, ON_PATHS(K_LINKAT, "linkat", from, to), real_linkat(fromDir, from, toDir, to, flags));
}
