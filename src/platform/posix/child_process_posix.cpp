// Children by fork and exec. Everything the child needs is made before the
// fork: in a program with other threads, the child may only make calls that
// are safe after a fork (no allocation) until it runs the program.
#include "vimbo/engine/child_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <random>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/file_system.h"

extern char** environ;

namespace vimbo::platform {
namespace {

// The paths to try for the program, in order, as execvp would.
std::vector<std::string> programCandidates(const std::string& program) {
    if (program.find('/') != std::string::npos) return {program};
    const char* path = std::getenv("PATH");
    const std::string entries = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::vector<std::string> candidates;
    for (std::size_t start = 0;;) {
        const std::size_t end = entries.find(':', start);
        const std::string entry = entries.substr(start, end == std::string::npos ? std::string::npos : end - start);
        candidates.push_back((entry.empty() ? "." : entry) + "/" + program);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return candidates;
}

// This process's environment with `settings` ("NAME=VALUE") put over it.
std::vector<std::string> environmentWith(const std::vector<std::string>& settings) {
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        const bool replaced = std::any_of(settings.begin(), settings.end(),
                                          [&](const std::string& setting) { return setting.rfind(name, 0) == 0; });
        if (!replaced) entries.push_back(text);
    }
    entries.insert(entries.end(), settings.begin(), settings.end());
    return entries;
}

void closeIfOpen(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Both ends close on exec, so that no other child (another thread's) keeps one open.
struct Pipe {
    int read = -1, write = -1;
    bool open() {
        int ends[2];
#ifdef __linux__
        if (::pipe2(ends, O_CLOEXEC) != 0) return false;
#else
        if (::pipe(ends) != 0) return false;
        ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
#endif
        read = ends[0];
        write = ends[1];
        return true;
    }
    ~Pipe() {
        closeIfOpen(read);
        closeIfOpen(write);
    }
};

// The child's side: only calls that are safe between fork and exec.
[[noreturn]] void becomeChild(const char* directory, int in, int out, int err, int report,
                              const std::vector<const char*>& candidates, char* const* argv, char* const* envp) {
    // A signal ignored stays ignored across exec, and one held back stays
    // held: a run ignores SIGPIPE (a closed output ends it cleanly), but git
    // or a compiler writing into a closed pipe must end as it would anywhere.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(SIGPIPE, &standard, nullptr);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::sigprocmask(SIG_UNBLOCK, &pipe, nullptr);
    if ((directory && ::chdir(directory) != 0) || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) {
        const int error = errno;
        (void)!::write(report, &error, sizeof error);
        ::_exit(127);
    }
    int error = ENOENT;
    for (const char* candidate : candidates) {
        ::execve(candidate, argv, envp);
        if (errno != ENOENT && errno != ENOTDIR) error = errno;
    }
    (void)!::write(report, &error, sizeof error);
    ::_exit(127);
}

// Keeps what was read, up to `keep` bytes in all.
void keepAtMost(std::string& to, const char* data, std::size_t size, std::size_t keep) {
    if (to.size() < keep) to.append(data, std::min(size, keep - to.size()));
}

// A child that ends before it has read all its input must not end this
// process too: SIGPIPE is held back on this thread while it writes, and one
// that came is taken away.
class PipeSignalHeld {
public:
    PipeSignalHeld() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        alreadyPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
    }
    ~PipeSignalHeld() {
        sigset_t pending;
        sigpending(&pending);
        int taken;
        if (!alreadyPending_ && sigismember(&pending, SIGPIPE) == 1) sigwait(&pipe_, &taken);
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

private:
    sigset_t pipe_, previous_;
    bool alreadyPending_;
};

}  // namespace

ChildOutcome runChild(const ChildProcess& child) {
    ChildOutcome outcome;
    if (child.arguments.empty()) return outcome;
    const std::string directory = child.directory.empty() ? "" : nativePath(child.directory);
    std::vector<std::string> candidates = programCandidates(child.arguments[0]);
    std::vector<const char*> candidatePointers;
    for (const std::string& candidate : candidates) candidatePointers.push_back(candidate.c_str());
    std::vector<char*> argv;
    for (const std::string& argument : child.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const std::vector<std::string> environment =
        child.environment.empty() ? std::vector<std::string>() : environmentWith(child.environment);
    std::vector<char*> envp;
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    Pipe in, out, err, report;
    if (!in.open() || !err.open() || !report.open()) return outcome;
    int outputFile = -1;
    if (child.outputFile.empty()) {
        if (!out.open()) return outcome;
    } else {
        outputFile = ::open(nativePath(child.outputFile).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (outputFile < 0) return outcome;
    }
    const pid_t pid = ::fork();
    if (pid == 0)
        becomeChild(directory.empty() ? nullptr : directory.c_str(), in.read, outputFile >= 0 ? outputFile : out.write,
                    err.write, report.write, candidatePointers, argv.data(), child.environment.empty() ? environ : envp.data());
    closeIfOpen(outputFile);
    if (pid < 0) return outcome;
    closeIfOpen(in.read);
    closeIfOpen(out.write);
    closeIfOpen(err.write);
    closeIfOpen(report.write);

    // Input is written while output is read, so that neither side waits on a full pipe.
    PipeSignalHeld held;
    std::size_t written = 0;
    if (child.input.empty()) closeIfOpen(in.write);
    else ::fcntl(in.write, F_SETFL, O_NONBLOCK);
    char buffer[65536];
    while (in.write >= 0 || out.read >= 0 || err.read >= 0) {
        pollfd watched[3] = {{in.write, POLLOUT, 0}, {out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
        if (::poll(watched, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (in.write >= 0 && watched[0].revents) {
            const ssize_t put = ::write(in.write, child.input.data() + written, child.input.size() - written);
            if (put > 0) written += static_cast<std::size_t>(put);
            if ((put < 0 && errno != EAGAIN && errno != EINTR) || written == child.input.size()) closeIfOpen(in.write);
        }
        for (int stream = 1; stream <= 2; ++stream) {
            int& fd = stream == 1 ? out.read : err.read;
            if (fd < 0 || !watched[stream].revents) continue;
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got > 0)
                keepAtMost(stream == 1 ? outcome.output : outcome.errors, buffer, static_cast<std::size_t>(got), child.keep);
            else if (got == 0 || errno != EINTR)
                closeIfOpen(fd);
        }
    }
    int execError = 0;
    outcome.started = ::read(report.read, &execError, sizeof execError) != static_cast<ssize_t>(sizeof execError);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return outcome;
    if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    return outcome;
}

std::string makePrivateDirectory(const std::string& parent, const std::string& prefix) {
    std::random_device random;
    const std::string base = nativePath(parent);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            base + (base.empty() || base.back() == '/' ? "" : "/") + prefix + std::to_string(random());
        if (::mkdir(candidate.c_str(), 0700) == 0) return candidate;
        if (errno != EEXIST) return "";
    }
    return "";
}

bool isOwnPrivateDirectory(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & 077) == 0;
}

long currentProcessId() { return static_cast<long>(::getpid()); }

bool processRunning(long id) {
    if (id <= 0) return false;
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

}  // namespace vimbo::platform
