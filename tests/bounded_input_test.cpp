// Input that never ends or is far too large must neither hang a run nor
// take its memory: a response file linked to /dev/zero, a sparse source of
// gigabytes, a pipe where the build's database or a configuration should
// be, a list with a NUL byte; and a read that throws fails its one file.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <new>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "batch/batch_run.h"
#include "platform/file_system.h"
#include "project/preprocess_command.h"
#include "support/command_run.h"
#include "support/recording_observer.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

namespace {

namespace fs = std::filesystem;
using vimbo::test::asWritten;
using vimbo::test::runVimbo;
using Strings = std::vector<std::string>;

const std::string kHeader = "#ifndef A_H\n#define A_H\n#endif\n";
const std::string kSource = "#include <a.h>\n";
const std::string kWrapped = asWritten("#ifndef A_H\n#include <a.h>\n#endif\n");
constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// A file of `size` bytes that takes no room on disk: text, then NUL bytes.
void sparse(const fs::path& path, std::uint64_t size, const std::string& text = "") {
    vimbo::test::writeFile(path, text);
    fs::resize_file(path, size);
}

// The kinds of file that must be refused unread, made at `path`; false
// where this system can't make one.
enum class Odd { pipe, zero, directory };
bool makeOdd(Odd kind, const fs::path& path) {
    fs::create_directories(path.parent_path().empty() ? fs::path(".") : path.parent_path());
    if (kind == Odd::directory) return fs::create_directory(path);
#ifdef _WIN32
    return false;
#else
    if (kind == Odd::pipe) return ::mkfifo(path.c_str(), 0600) == 0;
    std::error_code error;
    fs::create_symlink("/dev/zero", path, error);
    return !error;
#endif
}

class BoundedInput : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", kHeader);
        write("a.c", kSource);
    }
    std::string at(const std::string& relative) const { return (root() / relative).generic_string(); }
};

// r/d1.rsp names r/d2.rsp, and so on to r/d16.rsp, which holds "-Ideep".
void chain() {
    for (int i = 1; i < 16; ++i) vimbo::test::writeFile("r/d" + std::to_string(i) + ".rsp", "@r/d" + std::to_string(i + 1) + ".rsp");
    vimbo::test::writeFile("r/d16.rsp", "-Ideep");
}

TEST_F(BoundedInput, ResponseFilesAreRegularSmallAndNestedABoundedDepth) {
    const struct {
        const char* name;
        std::function<bool()> make;  // false: not on this system
        std::string problem;                       // "" when it expands
        Strings words;
    } cases[] = {
        {"nested",
         [] {
             vimbo::test::writeFile("r/one.rsp", "-Ia @r/two.rsp");
             vimbo::test::writeFile("r/two.rsp", "-Ib \"-DX=1 2\"");
             return true;
         },
         "", {"cc", "-Ia", "-Ib", "-DX=1 2", "-c"}},
        {"pipe", [] { return makeOdd(Odd::pipe, "r/one.rsp"); }, "r/one.rsp (not a regular file)", {}},
        {"/dev/zero", [] { return makeOdd(Odd::zero, "r/one.rsp"); }, "r/one.rsp (not a regular file)",
         {}},
        {"directory", [] { return makeOdd(Odd::directory, "r/one.rsp"); },
         "r/one.rsp (not a regular file)", {}},
        {"nested pipe",
         [] {
             vimbo::test::writeFile("r/one.rsp", "-Ia @r/two.rsp");
             return makeOdd(Odd::pipe, "r/two.rsp");
         },
         "r/two.rsp (not a regular file)", {}},
        {"too large", [] { return sparse("r/one.rsp", kMiB + 1), true; },
         "r/one.rsp (larger than 1M)", {}},
        {"itself",
         [] {
             vimbo::test::writeFile("r/one.rsp", "-Ia @r/./one.rsp");
             return true;
         },
         "r/one.rsp (it names itself)", {}},
        {"a cycle of two",
         [] {
             vimbo::test::writeFile("r/one.rsp", "@r/two.rsp");
             vimbo::test::writeFile("r/two.rsp", "@r/one.rsp");
             return true;
         },
         "r/one.rsp (it names itself)", {}},
        // one.rsp, then d1.rsp to d16.rsp: seventeen files, one inside the other.
        {"seventeen deep",
         [] {
             chain();
             vimbo::test::writeFile("r/one.rsp", "@r/d1.rsp");
             return true;
         },
         "r/d16.rsp (nested deeper than 16)", {}},
        {"sixteen deep",
         [] {
             chain();
             vimbo::test::writeFile("r/one.rsp", "@r/d2.rsp");
             return true;
         },
         "", {"cc", "-Ideep", "-c"}},
        {"seventeen megabytes in all",
         [] {
             std::string all;
             for (int i = 0; i < 17; ++i) {
                 sparse("r/m" + std::to_string(i) + ".rsp", kMiB, "-Im ");
                 all += " @r/m" + std::to_string(i) + ".rsp";
             }
             vimbo::test::writeFile("r/one.rsp", all);
             return true;
         },
         "r/m15.rsp (the command's response files hold more than 16M)", {}},
        {"missing", [] { return true; }, "r/one.rsp", {}},
    };
    for (const auto& c : cases) {
        fs::remove_all(root() / "r");
        fs::create_directories(root() / "r");
        if (!c.make()) continue;
        Strings words;
        std::string error;
        const bool expanded = vimbo::project::expandResponseFiles({"cc", "@r/one.rsp", "-c"}, at(""), words, error);
        if (c.problem.empty()) {
            EXPECT_TRUE(expanded) << c.name << ": " << error;
            EXPECT_EQ(words, c.words) << c.name;
        } else {
            EXPECT_FALSE(expanded) << c.name;
            EXPECT_EQ(error, "can't read the response file " + at(c.problem)) << c.name;
        }
    }
}

// A build whose entry names "@z.rsp", linked to /dev/zero, took 2 GB in
// 7 s and said nothing.
TEST_F(BoundedInput, AResponseFileWithoutEndIsToldAndLeftUnread) {
    if (!makeOdd(Odd::zero, "b/z.rsp")) GTEST_SKIP() << "no /dev/zero to link to";
    const std::string build = at("b");
    write("b/compile_commands.json", "[{\"directory\": \"" + build +
                                         "\", \"file\": \"../a.c\", \"arguments\": [\"cc\", \"@z.rsp\", \"-c\", \"../a.c\"]},"
                                         " {\"directory\": \"" + build +
                                         "\", \"file\": \"../c.c\", \"arguments\": [\"cc\", \"@z.rsp\", \"-c\", \"../c.c\"]}]");
    const auto o = runVimbo({"-p", "b", "-i", "inc", "--check", "a.c"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "") << "no header is found with directories it can't know";
    EXPECT_EQ(o.err, "vimbo: warning: " + build + "/compile_commands.json: entry 1: can't read the response file " +
                         build + "/z.rsp (not a regular file); no header is found with its directories\n" +
                         "vimbo: 1 files examined, 0 would be rewritten, 0 skipped, 0 failed\n")
        << "once for the file, though two entries name it";
}

// A sparse source of 20 GiB used to end the run in std::bad_alloc.
TEST_F(BoundedInput, FilesOverTheLimitAreSkippedInEveryMode) {
    sparse("big.c", std::uint64_t{20} << 30, kSource);
    const std::string note = "big.c: skipped (21474836480 bytes, over the limit of 64M; --max-file-size raises it)\n";
    const struct {
        Strings arguments;
        int status;
        const char* summary;
    } cases[] = {
        {{"--check", "a.c", "big.c"}, 1, "vimbo: 1 files examined, 1 would be rewritten, 1 skipped, 0 failed\n"},
        {{"--diff", "a.c", "big.c"}, 1, "vimbo: 1 files examined, 1 would be rewritten, 1 skipped, 0 failed\n"},
        {{"--check", "--tree", "."}, 1, "vimbo: 2 files examined, 1 would be rewritten, 1 skipped, 0 failed\n"},
        {{"--audit", "a.c", "big.c"}, 0, "vimbo: 1 files examined, 0 wrong external guards in 0 files, 1 skipped, 0 failed\n"},
        {{"--strip", "--check", "a.c", "big.c"}, 0, "vimbo: 1 files examined, 0 would be rewritten, 1 skipped, 0 failed\n"},
        {{"--check", "--files-from", "list.txt"}, 1, "vimbo: 1 files examined, 1 would be rewritten, 1 skipped, 0 failed\n"},
        // Every source of the build: big.c's includes are not looked for.
        {{"-p", "db", "--check"}, 1, "vimbo: 2 files examined, 1 would be rewritten, 1 skipped, 0 failed\n"},
        {{"--tree", "."}, 0, "vimbo: 2 files examined, 1 rewritten, 1 skipped, 0 failed\n"},
    };
    write("list.txt", "a.c\nbig.c\n");
    const std::string here = at("");
    write("db/compile_commands.json", "[{\"directory\": \"" + here + "\", \"file\": \"a.c\", \"command\": \"cc -c a.c\"},"
                                      " {\"directory\": \"" + here + "\", \"file\": \"big.c\", \"command\": \"cc -c big.c\"}]");
    for (const auto& c : cases) {
        // The build's compiler says where its units look: none here, nothing found.
        if (c.arguments[0] == "-p" && !vimbo::test::compilerAvailable()) continue;
        Strings arguments{"-i", "inc"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const auto o = runVimbo(arguments);
        EXPECT_EQ(o.status, c.status) << c.arguments[0] << o.err;
        EXPECT_NE(o.err.find(note), std::string::npos) << c.arguments[0] << ": " << o.err;
        EXPECT_NE((o.out + o.err).find(c.summary), std::string::npos) << c.arguments[0] << ": " << o.out << o.err;
    }
    EXPECT_EQ(read("a.c"), kWrapped);
    EXPECT_EQ(fs::file_size(root() / "big.c"), std::uint64_t{20} << 30);
}

// A header over the limit is one that can't be read: its include stays.
TEST_F(BoundedInput, TheLimitComesFromTheCommandLineOrTheConfiguration) {
    // 2 MiB, with its guard around NUL bytes in a comment.
    sparse("inc/big.h", 2 * kMiB, "#ifndef BIG_H\n#define BIG_H\n/*");
    std::ofstream(root() / "inc/big.h", std::ios::app | std::ios::binary) << "*/\n#endif\n";
    write("b.c", "#include <big.h>\n");
    const std::string wrapped = asWritten("#ifndef BIG_H\n#include <big.h>\n#endif\n");
    const struct {
        const char* config;  // "" for none
        Strings options;
        bool wraps;
        const char* problem;  // on standard error, for exit 2
    } cases[] = {
        {"", {}, true, ""},
        {"", {"--max-file-size", "1M"}, false, ""},
        {"", {"--max-file-size=1048576"}, false, ""},
        {"", {"--max-file-size", "3m"}, true, ""},
        {"max-file-size = \"1M\"\n", {}, false, ""},
        {"max-file-size = 1048576\n", {}, false, ""},
        {"max-file-size = \"1M\"\n", {"--max-file-size", "2049K"}, true, ""},
        {"", {"--max-file-size", "0"}, false, "--max-file-size takes a size in bytes, or with K, M or G (64M), not '0'"},
        {"", {"--max-file-size", "1T"}, false, "not '1T'"},
        {"", {"--max-file-size", "99999999999999999999"}, false, "not '99999999999999999999'"},
        {"max-file-size = \"1 M\"\n", {}, false, ".vimbo.toml:1:1: error: max-file-size takes a size: bytes, or a string such as \"64M\""},
        {"max-file-size = -5\n", {}, false, "max-file-size takes a size"},
        {"max-file-size = true\n", {}, false, "max-file-size takes a size"},
    };
    for (const auto& c : cases) {
        fs::remove(root() / ".vimbo.toml");
        if (*c.config) write(".vimbo.toml", c.config);
        Strings arguments{"-i", "inc", "--check", "--verbose", "b.c", "inc/big.h"};
        arguments.insert(arguments.begin(), c.options.begin(), c.options.end());
        const auto o = runVimbo(arguments);
        const std::string label = std::string(c.config) + (c.options.empty() ? "" : c.options[0]);
        if (*c.problem) {
            EXPECT_EQ(o.status, 2) << label;
            EXPECT_NE(o.err.find(c.problem), std::string::npos) << label << ": " << o.err;
            continue;
        }
        EXPECT_EQ(o.status, c.wraps ? 1 : 0) << label << ": " << o.err;
        EXPECT_EQ(o.out, c.wraps ? "b.c:1:1: warning: #include <big.h> can be wrapped in BIG_H [missing-external-guard]\n" : "") << label;
        EXPECT_EQ(o.err.find("inc/big.h: skipped (2097162 bytes, over the limit of ") != std::string::npos, !c.wraps)
            << label << ": " << o.err;
    }
    fs::remove(root() / ".vimbo.toml");
    EXPECT_EQ(runVimbo({"-i", "inc", "--tree", "--max-file-size", "3M", "b.c"}).status, 0);
    EXPECT_EQ(read("b.c"), wrapped);

    write(".vimbo.toml", "max-file-size = 1048576\n");
    const auto configured = runVimbo({"--print-config", "b.c"});
    EXPECT_NE(configured.out.find("max-file-size = \"1M\"  # "), std::string::npos) << configured.out;
    EXPECT_NE(configured.out.find(".vimbo.toml (of the current directory)\n"), std::string::npos) << configured.out;
    fs::remove(root() / ".vimbo.toml");
    EXPECT_NE(runVimbo({"--print-config", "b.c"}).out.find("max-file-size = \"64M\"  # default\n"), std::string::npos);
    EXPECT_NE(runVimbo({"--max-file-size", "1000", "--print-config", "b.c"})
                  .out.find("max-file-size = \"1000\"  # command line\n"),
              std::string::npos);
}

// What the command reads for itself: the build's database, a configuration
// and a list of files, each a regular file of a bounded size.
TEST_F(BoundedInput, DatabasesConfigurationsAndListsAreRegularAndBounded) {
    const struct {
        const char* file;  // made odd or too large
        std::function<bool(const char*)> make;
        Strings arguments;
        std::string message;
    } cases[] = {
        {"db/compile_commands.json", [](const char* f) { return makeOdd(Odd::pipe, f); }, {"-p", "db"},
         "db/compile_commands.json: can't read the compilation database (not a regular file)\n"},
        {"db/compile_commands.json", [](const char* f) { return makeOdd(Odd::zero, f); }, {"-p", "db"},
         "db/compile_commands.json: can't read the compilation database (not a regular file)\n"},
        {"db/compile_commands.json", [](const char* f) { return makeOdd(Odd::zero, f); }, {"-p", "db/compile_commands.json"},
         "db/compile_commands.json: can't read the compilation database (not a regular file)\n"},
        {"db/compile_commands.json", [](const char* f) { return sparse(f, (std::uint64_t{1} << 30) + 1), true; },
         {"-p", "db"}, "db/compile_commands.json: can't read the compilation database (larger than 1G)\n"},
        {".vimbo.toml", [](const char* f) { return makeOdd(Odd::pipe, f); }, {},
         "/.vimbo.toml: error: can't read the configuration (not a regular file)\n"},
        {".vimbo.toml", [](const char* f) { return makeOdd(Odd::zero, f); }, {},
         "/.vimbo.toml: error: can't read the configuration (not a regular file)\n"},
        {".vimbo.toml", [](const char* f) { return sparse(f, kMiB + 1), true; }, {},
         "/.vimbo.toml: error: can't read the configuration (larger than 1M)\n"},
        {"list.txt", [](const char* f) { return makeOdd(Odd::pipe, f); }, {"--files-from", "list.txt"},
         "vimbo: list.txt: can't read the file list (not a regular file; --files-from - reads standard input)\n"},
        {"list.txt", [](const char* f) { return makeOdd(Odd::zero, f); }, {"--files-from", "list.txt"},
         "vimbo: list.txt: can't read the file list (not a regular file; --files-from - reads standard input)\n"},
        {"list.txt", [](const char* f) { return makeOdd(Odd::directory, f); }, {"--files-from", "list.txt"},
         "vimbo: list.txt: can't read the file list (not a regular file; --files-from - reads standard input)\n"},
        {"list.txt", [](const char* f) { return sparse(f, (std::uint64_t{256} << 20) + 1, "a.c\n"), true; },
         {"--files-from", "list.txt"}, "vimbo: list.txt: can't read the file list (larger than 256M)\n"},
    };
    for (const auto& c : cases) {
        fs::remove_all(root() / "db");
        fs::remove_all(root() / c.file);
        if (!c.make(c.file)) continue;
        Strings arguments{"-i", "inc", "--tree"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        arguments.push_back("a.c");
        const auto o = runVimbo(arguments);
        EXPECT_EQ(o.status, 2) << c.file << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.file << ": " << o.err;
        EXPECT_EQ(read("a.c"), kSource) << c.file << ": nothing is rewritten";
        fs::remove_all(root() / c.file);
    }
}

// The system reads a path up to a NUL byte: a list that holds one would
// have vimbo take another file than the one listed.
TEST_F(BoundedInput, ANulByteInAListNamesItsLine) {
    write("b.c", kSource);
    const struct {
        const char* list;  // "" for standard input
        std::string text;
        std::string message;
    } cases[] = {
        {"list.txt", std::string("a.c\r\n\nb.c\0.txt\n", 15), "vimbo: list.txt:3: holds a NUL byte, which no path can\n"},
        {"list.txt", std::string("\0", 1), "vimbo: list.txt:1: holds a NUL byte, which no path can\n"},
        {"", std::string("a.c\nb.c\0", 8), "vimbo: standard input:2: holds a NUL byte, which no path can\n"},
    };
    for (const auto& c : cases) {
        if (*c.list) write(c.list, c.text);
        const auto o = runVimbo({"-i", "inc", "--tree", "--files-from", *c.list ? c.list : "-"}, *c.list ? "" : c.text);
        EXPECT_EQ(o.status, 2) << c.message;
        EXPECT_EQ(o.err, c.message);
        EXPECT_EQ(read("a.c"), kSource) << "nothing is rewritten";
        EXPECT_EQ(read("b.c"), kSource);
    }
}

// The reads of one file throw std::bad_alloc, as the system's allocator
// does when memory runs out: that file fails with its name, the others
// are rewritten, and the summary counts it.
namespace thrown {
decltype(vimbo::platform::FileSystemOps::xOpenRead) realOpen;
decltype(vimbo::platform::FileSystemOps::xRead) realRead;
std::atomic<vimbo::platform::FileHandle> handle{vimbo::platform::kNoFile};
bool onRewrite = false;  // else on the index's read
}  // namespace thrown

TEST_F(BoundedInput, AReadThatThrowsFailsItsFileAndTheRunGoesOn) {
    for (const bool onRewrite : {false, true}) {
        for (const char* name : {"d1/a.c", "d2/boom.c", "d3/c.c"}) write(name, kSource);
        thrown::realOpen = vimbo::test::fileSystem().xOpenRead;
        thrown::realRead = vimbo::test::fileSystem().xRead;
        thrown::onRewrite = onRewrite;
        thrown::handle = vimbo::platform::kNoFile;
        vimbo::test::fileSystem().xOpenRead = [](const vimbo::platform::FileSystemOps& self, const std::string& path,
                                                 const vimbo::platform::FileIdentity* known) {
            const vimbo::platform::FileHandle file = thrown::realOpen(self, path, known);
            const bool boom = path.size() >= 6 && path.compare(path.size() - 6, 6, "boom.c") == 0;
            // The index reads each file without a version known; the rewrite as the version it read.
            if (boom && (known != nullptr) == thrown::onRewrite) thrown::handle = file;
            return file;
        };
        vimbo::test::fileSystem().xRead = [](const vimbo::platform::FileSystemOps& self, vimbo::platform::FileHandle file,
                                             char* buffer, std::size_t size) -> std::int64_t {
            // Once: the number is given to other files after this one is closed.
            vimbo::platform::FileHandle boom = file;
            if (thrown::handle.compare_exchange_strong(boom, vimbo::platform::kNoFile)) throw std::bad_alloc();
            return thrown::realRead(self, file, buffer, size);
        };
        vimbo::batch::BatchSettings settings;
        settings.includePath = "inc";
        settings.jobs = 2;
        settings.fileSystem = &vimbo::test::fileSystem();
        vimbo::test::RecordingObserver told;
        const int status = vimbo::batch::runBatch(settings, {"d1/a.c", "d2/boom.c", "d3/c.c"}, {}, 0, told);
        const std::string& out = told.summaries;
        const std::string& err = told.messages;
        EXPECT_EQ(status, 1) << onRewrite;
        // Only the index's read is known to have left the file as it was.
        EXPECT_EQ(err, std::string("vimbo: d2/boom.c: can't be processed (out of memory)") +
                           (onRewrite ? "" : "; left unchanged") + "\n");
        EXPECT_EQ(out, "vimbo: 3 files examined, 2 rewritten, 0 skipped, 1 failed\n") << onRewrite;
        EXPECT_EQ(read("d1/a.c"), kWrapped);
        EXPECT_EQ(read("d2/boom.c"), kSource);
        EXPECT_EQ(read("d3/c.c"), kWrapped);
        EXPECT_FALSE(exists("d2/$vb$tmp$.$$$"));
        vimbo::test::fileSystem() = vimbo::platform::defaultFileSystemOps();
    }
}

}  // namespace
