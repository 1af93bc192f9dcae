#include "support/command_run.h"

#include "vimbo/engine/child_process.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#endif

#ifndef VIMBO_CLI
#error "VIMBO_CLI must name the command under test"
#endif

namespace vimbo::test {
namespace {

// Standard output is in text mode: on Windows each "\n" arrives as CR LF.
std::string console(std::string text) {
#ifdef _WIN32
    std::string::size_type at;
    while ((at = text.find("\r\n")) != std::string::npos) text.erase(at, 1);
#endif
    return text;
}

// A machine without cc and c++ (the Windows suite under wine) has every
// batch run say so; the tests look at what else it says. A compiler a test
// names itself is never left out.
std::string withoutDefaultCompilerWarnings(std::string text) {
    for (const char* line : {"vimbo: warning: can't run cc to ask for its search list; ",
                             "vimbo: warning: can't run c++ to ask for its search list; "}) {
        const std::string::size_type at = text.find(line);
        if (at == std::string::npos) continue;
        const std::string::size_type end = text.find('\n', at);
        text.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
    }
    return text;
}

}  // namespace

bool compilerAvailable() {
    static const bool available = [] {
        vimbo::platform::ChildProcess child;
        child.arguments = {"cc", "--version"};
        const vimbo::platform::ChildOutcome outcome = vimbo::platform::runChild(child);
        return outcome.started && outcome.status == 0;
    }();
    return available;
}

CommandOutcome runVimbo(const std::vector<std::string>& arguments, const std::string& input) {
    vimbo::platform::ChildProcess child;
    child.arguments.push_back(VIMBO_CLI);
    child.arguments.insert(child.arguments.end(), arguments.begin(), arguments.end());
    child.input = input;
    child.keep = std::size_t{1} << 30;
    vimbo::platform::ChildOutcome outcome = vimbo::platform::runChild(child);
    // Under wine a program now and then fails to start at all: that is the
    // machine, not the program.
    for (int attempt = 0; !outcome.started && attempt < 3; ++attempt) outcome = vimbo::platform::runChild(child);
    return CommandOutcome{outcome.status, console(outcome.output),
                          withoutDefaultCompilerWarnings(console(outcome.errors))};
}

#ifndef _WIN32
namespace {

// A command started by fork and exec, its standard error (and unless piped,
// its standard output) in files that vanish once closed.
class Started {
public:
    Started(const std::vector<std::string>& arguments, int output, bool group) {
        err_ = std::tmpfile();
        out_ = output < 0 ? std::tmpfile() : nullptr;
        std::vector<std::string> words = {VIMBO_CLI};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            if (group) ::setpgid(0, 0);
            const int in = ::open("/dev/null", O_RDONLY);
            ::dup2(in, 0);
            ::dup2(output < 0 ? ::fileno(out_) : output, 1);
            ::dup2(::fileno(err_), 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        // Set on both sides, so that a signal to the group finds it however soon.
        if (group && pid_ > 0) ::setpgid(pid_, pid_);
    }
    ~Started() {
        if (out_) std::fclose(out_);
        if (err_) std::fclose(err_);
    }
    pid_t pid() const { return pid_; }
    bool ended() {
        if (pid_ <= 0 || status_) return true;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
        status_ = status;
        return true;
    }
    CommandOutcome outcome() {
        int status = 0;
        if (status_) status = *status_;
        else if (pid_ > 0) ::waitpid(pid_, &status, 0);
        CommandOutcome result{-1, out_ ? contents(out_) : "", contents(err_)};
        if (pid_ > 0 && WIFEXITED(status)) result.status = WEXITSTATUS(status);
        if (pid_ > 0 && WIFSIGNALED(status)) result.signal = WTERMSIG(status);
        return result;
    }

private:
    static std::string contents(FILE* file) {
        std::string text;
        std::rewind(file);
        char buffer[65536];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, got);
        return text;
    }

    FILE* out_ = nullptr;
    FILE* err_ = nullptr;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

}  // namespace

CommandOutcome runVimboSignalled(const std::vector<std::string>& arguments, int signal,
                                 const std::function<bool()>& ready, bool group) {
    Started command(arguments, -1, group);
    bool sent = false;
    while (!command.ended()) {
        if (ready()) {
            ::kill(group ? -command.pid() : command.pid(), signal);
            sent = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    CommandOutcome outcome = command.outcome();
    outcome.sent = sent;
    return outcome;
}

CommandOutcome runVimboIntoClosingPipe(const std::vector<std::string>& arguments) {
    int ends[2];
    if (::pipe(ends) != 0) return CommandOutcome{-1, "", "no pipe"};
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    std::string first;
    CommandOutcome outcome;
    {
        Started command(arguments, ends[1], false);
        ::close(ends[1]);
        char c;
        while (::read(ends[0], &c, 1) == 1 && c != '\n') first += c;
        ::close(ends[0]);
        outcome = command.outcome();
    }
    outcome.out = first;
    return outcome;
}
#endif

bool gitAvailable() {
    const vimbo::platform::ChildOutcome outcome = vimbo::platform::runChild({{"git", "--version"}, "", "", ""});
    return outcome.started && outcome.status == 0;
}

}  // namespace vimbo::test
