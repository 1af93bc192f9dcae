// Children by CreateProcess, with a command line quoted the way the C
// runtime splits it again, so each argument arrives as it was given.
#include "vimbo/engine/child_process.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>

namespace vimbo::platform {
namespace {

// One argument as CommandLineToArgvW and the C runtime read it back:
// backslashes are doubled only in front of a quote or the closing quote.
std::string quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string result = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        result.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        result += c;
    }
    result.append(2 * backslashes, '\\');
    return result + "\"";
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string nameOf(const std::string& entry) {
    // Entries such as "=C:=C:\\dir" begin with "=": their name holds it.
    const std::size_t equals = entry.find('=', 1);
    return entry.substr(0, equals);
}

// This process's environment with `settings` put over it, as the block
// CreateProcess takes: sorted by name without regard to case, each entry
// ended by a NUL, the whole by another.
std::string environmentBlock(const std::vector<std::string>& settings) {
    std::vector<std::string> entries;
    if (char* block = GetEnvironmentStringsA()) {
        for (const char* entry = block; *entry; entry += std::strlen(entry) + 1) {
            const std::string text = entry;
            const bool replaced = std::any_of(settings.begin(), settings.end(), [&](const std::string& setting) {
                return sameNameIgnoringCase(nameOf(setting), nameOf(text));
            });
            if (!replaced) entries.push_back(text);
        }
        FreeEnvironmentStringsA(block);
    }
    entries.insert(entries.end(), settings.begin(), settings.end());
    std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
        const std::string x = nameOf(a), y = nameOf(b);
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](unsigned char p, unsigned char q) {
            return std::toupper(p) < std::toupper(q);
        });
    });
    std::string block;
    for (const std::string& entry : entries) block += entry + '\0';
    return block + '\0';
}

bool isFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The program a bare name stands for, along PATH alone. CreateProcess would
// look in the current directory first (which is often the very tree a run
// works on) and run a program of that name found there.
std::string programOnPath(const std::string& program) {
    if (program.find_first_of("\\/:") != std::string::npos) return program;
    const bool hasExtension = program.find('.') != std::string::npos;
    const char* path = std::getenv("PATH");
    const std::string entries = path ? path : "";
    for (std::size_t start = 0; start <= entries.size();) {
        std::size_t end = entries.find(';', start);
        if (end == std::string::npos) end = entries.size();
        std::string directory = entries.substr(start, end - start);
        start = end + 1;
        if (directory.size() >= 2 && directory.front() == '"' && directory.back() == '"')
            directory = directory.substr(1, directory.size() - 2);
        if (directory.empty()) continue;
        if (directory.back() != '\\' && directory.back() != '/') directory += '\\';
        if (hasExtension && isFile(directory + program)) return directory + program;
        for (const char* extension : {".exe", ".com"})
            if (isFile(directory + program + extension)) return directory + program + extension;
    }
    return "";
}

struct Handle {
    HANDLE value = INVALID_HANDLE_VALUE;
    ~Handle() { close(); }
    void close() {
        if (value != INVALID_HANDLE_VALUE && value != nullptr) CloseHandle(value);
        value = INVALID_HANDLE_VALUE;
    }
};

void readAll(HANDLE from, std::string& into, std::size_t keep) {
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0)
        if (into.size() < keep) into.append(buffer, std::min<std::size_t>(got, keep - into.size()));
}

// Handles are inherited by every child started while they are inheritable:
// they are made so only here, one child at a time, so that no child of
// another thread keeps a pipe of this one open.
std::mutex startingLock;

}  // namespace

ChildOutcome runChild(const ChildProcess& child) {
    ChildOutcome outcome;
    if (child.arguments.empty()) return outcome;
    const std::string program = programOnPath(child.arguments[0]);
    if (program.empty()) return outcome;
    std::string commandLine;
    for (const std::string& argument : child.arguments) commandLine += (commandLine.empty() ? "" : " ") + quoted(argument);
    std::string environment = child.environment.empty() ? std::string() : environmentBlock(child.environment);

    SECURITY_ATTRIBUTES plain{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    Handle inRead, inWrite, outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(&inRead.value, &inWrite.value, &plain, 0) || !CreatePipe(&errRead.value, &errWrite.value, &plain, 0))
        return outcome;
    if (child.outputFile.empty()) {
        if (!CreatePipe(&outRead.value, &outWrite.value, &plain, 0)) return outcome;
    } else {
        outWrite.value = CreateFileA(child.outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &plain, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (outWrite.value == INVALID_HANDLE_VALUE) return outcome;
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead.value;
    startup.hStdOutput = outWrite.value;
    startup.hStdError = errWrite.value;
    PROCESS_INFORMATION process{};
    {
        std::lock_guard<std::mutex> hold(startingLock);
        for (HANDLE h : {inRead.value, outWrite.value, errWrite.value})
            SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        outcome.started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                         environment.empty() ? nullptr : environment.data(),
                                         child.directory.empty() ? nullptr : child.directory.c_str(), &startup,
                                         &process) != 0;
        inRead.close();
        outWrite.close();
        errWrite.close();
    }
    if (!outcome.started) return outcome;
    CloseHandle(process.hThread);

    // Input is written and standard error read beside standard output, so
    // that neither side waits on a full pipe.
    std::thread writer([&] {
        DWORD put = 0;
        for (std::size_t written = 0; written < child.input.size(); written += put)
            if (!WriteFile(inWrite.value, child.input.data() + written,
                           static_cast<DWORD>(std::min<std::size_t>(child.input.size() - written, 1 << 20)), &put,
                           nullptr))
                break;
        inWrite.close();
    });
    std::thread errors([&] { readAll(errRead.value, outcome.errors, child.keep); });
    if (child.outputFile.empty()) readAll(outRead.value, outcome.output, child.keep);
    writer.join();
    errors.join();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    if (GetExitCodeProcess(process.hProcess, &status)) outcome.status = static_cast<int>(status);
    // Ctrl-C reaches the child too; it then ends with this status.
    if (status == 0xC000013A) {
        outcome.status = -1;
        outcome.signal = 2;
    }
    CloseHandle(process.hProcess);
    return outcome;
}

std::string makePrivateDirectory(const std::string& parent, const std::string& prefix) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = parent;
        if (!candidate.empty() && candidate.back() != '\\' && candidate.back() != '/') candidate += '\\';
        candidate += prefix + std::to_string(random());
        // The user's own temporary directory already keeps others out.
        if (CreateDirectoryA(candidate.c_str(), nullptr)) return candidate;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return "";
    }
    return "";
}

bool isOwnPrivateDirectory(const std::string& path) {
    // Directories of the user's own temporary directory keep others out.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

long currentProcessId() { return static_cast<long>(GetCurrentProcessId()); }

bool processRunning(long id) {
    if (id <= 0) return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

}  // namespace vimbo::platform
