// A batch run in process, as a front end calls it: files of several
// directories shown in the order of the list whatever the number of jobs,
// each once, the counts of the summary line, and the exit status of each
// mode for a tree with nothing to do, one with work, and one with a file
// that fails.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "support/recording_observer.h"
#include "support/temp_dir.h"
#include "support/written_text.h"
#include "vimbo/engine/batch.h"

namespace {

std::string withoutCompilerWarnings(const std::string& messages) {
    std::string kept;
    for (std::size_t start = 0; start < messages.size();) {
        std::size_t end = messages.find('\n', start);
        end = end == std::string::npos ? messages.size() : end + 1;
        const std::string line = messages.substr(start, end - start);
        if (line.rfind("vimbo: warning: can't run ", 0) != 0) kept += line;
        start = end;
    }
    return kept;
}

using vimbo::engine::BatchMode;

const char kGuarded[] = "#ifndef A_H\n#define A_H\n#endif\n";
const char kPlain[] = "#include <a.h>\n";
const char kWrapped[] = "#ifndef A_H\n#include <a.h>\n#endif\n";
// w.h is guarded by W_GUARD: a wrapper in W_H, named after the header, is wrong.
const char kWrongWrapper[] = "#ifndef W_H\n#include <w.h>\n#endif\n";

// Sorted as the walk lists them; directories of one, two and three files.
const std::vector<std::string> kFiles = {"src/a/1.c", "src/a/2.c", "src/a/3.h", "src/b/1.c",
                                         "src/b/deep/1.c", "src/b/deep/2.c", "src/c.c"};

const char* modeName(BatchMode mode) {
    switch (mode) {
    case BatchMode::rewrite: return "rewrite";
    case BatchMode::check: return "check";
    case BatchMode::diff: return "diff";
    case BatchMode::audit: return "audit";
    }
    return "?";
}

class BatchOrder : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", kGuarded);
        write("inc/w.h", "#ifndef W_GUARD\n#define W_GUARD\n#endif\n");
    }

    // Every file with work to do for `mode`, or none.
    void writeTree(BatchMode mode, bool work) {
        for (const std::string& file : kFiles)
            write(file, !work ? kWrapped : mode == BatchMode::audit ? kWrongWrapper : kPlain);
    }

    static vimbo::engine::BatchRequest request(BatchMode mode, unsigned jobs) {
        vimbo::engine::BatchRequest run;
        run.mode = mode;
        run.tree = true;
        run.gitIgnore = false;
        run.jobs = jobs;
        run.includePath = "inc";
        run.paths = {"src"};
        return run;
    }
};

TEST_F(BatchOrder, FilesAreShownInListOrderOnceWhateverTheJobs) {
    struct Case {
        BatchMode mode;
        bool work;
        int status;
        const char* summary;
    };
    const Case cases[] = {
        {BatchMode::rewrite, false, 0, "vimbo: 7 files examined, 0 rewritten, 0 skipped, 0 failed\n"},
        {BatchMode::rewrite, true, 0, "vimbo: 7 files examined, 7 rewritten, 0 skipped, 0 failed\n"},
        {BatchMode::check, false, 0, "vimbo: 7 files examined, 0 would be rewritten, 0 skipped, 0 failed\n"},
        {BatchMode::check, true, 1, "vimbo: 7 files examined, 7 would be rewritten, 0 skipped, 0 failed\n"},
        {BatchMode::diff, false, 0, "vimbo: 7 files examined, 0 would be rewritten, 0 skipped, 0 failed\n"},
        {BatchMode::diff, true, 1, "vimbo: 7 files examined, 7 would be rewritten, 0 skipped, 0 failed\n"},
        {BatchMode::audit, false, 0,
         "vimbo: 7 files examined, 0 wrong external guards in 0 files, 0 skipped, 0 failed\n"},
        {BatchMode::audit, true, 1,
         "vimbo: 7 files examined, 7 wrong external guards in 7 files, 0 skipped, 0 failed\n"},
    };
    for (const Case& c : cases) {
        for (const unsigned jobs : {1u, 4u}) {
            const std::string label = std::string(modeName(c.mode)) + (c.work ? " with work" : " without") +
                                      ", -j " + std::to_string(jobs);
            writeTree(c.mode, c.work);
            vimbo::test::RecordingObserver told;
            std::string usage;
            const int status = vimbo::engine::runProject(request(c.mode, jobs), {}, told, usage);
            EXPECT_EQ(usage, "") << label;
            EXPECT_EQ(status, c.status) << label << "\n" << told.messages;
            EXPECT_EQ(told.summaries, c.summary) << label;
            EXPECT_EQ(told.shownFiles, c.work ? kFiles : std::vector<std::string>{}) << label;
            // A machine without cc and c++ (Windows) says so; nothing else is told.
            EXPECT_EQ(withoutCompilerWarnings(told.messages), "") << label;
            // A dry run leaves every file as it was; a rewrite guards them all.
            for (const std::string& file : kFiles) {
                const bool rewritten = c.work && c.mode == BatchMode::rewrite;
                EXPECT_EQ(read(file), rewritten                       ? vimbo::test::asWritten(kWrapped)
                                      : !c.work                       ? kWrapped
                                      : c.mode == BatchMode::audit    ? kWrongWrapper
                                                                      : kPlain)
                    << label << ": " << file;
            }
        }
    }
}

// A diff shows each file's hunk under its own name, in list order: the
// text, not only the names, comes in the order of the list.
TEST_F(BatchOrder, DiffsComeInListOrder) {
    for (const unsigned jobs : {1u, 4u}) {
        writeTree(BatchMode::diff, true);
        vimbo::test::RecordingObserver told;
        std::string usage;
        EXPECT_EQ(vimbo::engine::runProject(request(BatchMode::diff, jobs), {}, told, usage), 1) << jobs;
        std::set<std::string> once(told.shownFiles.begin(), told.shownFiles.end());
        EXPECT_EQ(once.size(), kFiles.size()) << jobs;
        EXPECT_EQ(told.shownFiles, kFiles) << jobs;
    }
}

// A file that fails (a directory by a source's name, which can't be read
// as a file) or is skipped (over the size limit), among files with work:
// each mode's status and counts, the other files done as usual.
TEST_F(BatchOrder, AFailingFileSetsEachModesStatus) {
    struct Case {
        BatchMode mode;
        bool bigOnly;  // the odd file is only too large: skipped, no failure
        int status;
        const char* summary;
    };
    const Case cases[] = {
        {BatchMode::rewrite, false, 1, "vimbo: 8 files examined, 7 rewritten, 0 skipped, 1 failed\n"},
        {BatchMode::check, false, 2, "vimbo: 8 files examined, 7 would be rewritten, 0 skipped, 1 failed\n"},
        {BatchMode::diff, false, 2, "vimbo: 8 files examined, 7 would be rewritten, 0 skipped, 1 failed\n"},
        {BatchMode::audit, false, 2,
         "vimbo: 8 files examined, 7 wrong external guards in 7 files, 0 skipped, 1 failed\n"},
        {BatchMode::rewrite, true, 0, "vimbo: 7 files examined, 7 rewritten, 1 skipped, 0 failed\n"},
        {BatchMode::check, true, 1, "vimbo: 7 files examined, 7 would be rewritten, 1 skipped, 0 failed\n"},
        {BatchMode::diff, true, 1, "vimbo: 7 files examined, 7 would be rewritten, 1 skipped, 0 failed\n"},
        {BatchMode::audit, true, 1,
         "vimbo: 7 files examined, 7 wrong external guards in 7 files, 1 skipped, 0 failed\n"},
    };
    for (const Case& c : cases) {
        for (const unsigned jobs : {1u, 4u}) {
            const std::string label = std::string(modeName(c.mode)) + (c.bigOnly ? " big" : " failing") + ", -j " +
                                      std::to_string(jobs);
            vimbo::test::fs::remove_all(root() / "src");
            writeTree(c.mode, true);
            std::vector<std::string> files = kFiles;
            files.insert(files.begin() + 3, "src/a/odd.c");
            if (c.bigOnly)
                write("src/a/odd.c", std::string(200, '\n') + kPlain);
            else
                vimbo::test::fs::create_directories(root() / "src/a/odd.c");
            vimbo::batch::BatchSettings settings;
            settings.mode = c.mode;
            settings.includePath = "inc";
            settings.jobs = jobs;
            settings.maxFileSize = 100;
            vimbo::test::RecordingObserver told;
            const int status = vimbo::batch::runBatch(settings, files, {}, 0, told);
            EXPECT_EQ(status, c.status) << label << "\n" << told.messages;
            EXPECT_EQ(told.summaries, c.summary) << label << "\n" << told.messages;
            EXPECT_NE(told.messages.find("src/a/odd.c"), std::string::npos) << label << ": the odd file is named\n"
                                                                            << told.messages;
            EXPECT_EQ(told.shownFiles, kFiles) << label;
            if (c.mode == BatchMode::rewrite) {
                EXPECT_EQ(read("src/b/deep/2.c"), vimbo::test::asWritten(kWrapped)) << label;
            }
        }
    }
}

}  // namespace
