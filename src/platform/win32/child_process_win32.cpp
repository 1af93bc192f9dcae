// Children by CreateProcess, with a command line quoted the way the C
// runtime splits it again, so each argument arrives as it was given.
#include "vimbo/engine/child_process.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

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
    std::string commandLine;
    for (const std::string& argument : child.arguments) commandLine += (commandLine.empty() ? "" : " ") + quoted(argument);

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
        outcome.started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
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

}  // namespace vimbo::platform
