// The library's rules and a compiler's, each read alone: which directives
// include, what name a line gives, and which lines may be wrapped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/include_directive.h"
#include "analysis/include_rules.h"
#include "analysis/source_scanner.h"

namespace {

using vimbo::analysis::IncludeName;
using vimbo::analysis::IncludeRules;

struct Read {
    bool includes = false;
    bool named = false;
    std::string name;
    bool quoted = false;
    bool next = false;
    bool mayWrap = false;
};

Read readLine(const IncludeRules& rules, const std::string& line) {
    Read read;
    vimbo::analysis::SourceScanner scanner;
    const vimbo::analysis::ScannedLine scanned = scanner.feed(line);
    std::string_view directive, rest;
    if (!vimbo::analysis::readDirective(scanned.code, directive, rest)) return read;
    read.includes = rules.includes(directive);
    if (!read.includes) return read;
    IncludeName name;
    read.named = rules.includeName(line, directive, rest, name);
    read.name = name.name;
    read.quoted = name.quoted;
    read.next = name.next;
    read.mayWrap = rules.mayWrap(line, read.named, name, {"stdafx.h"});
    return read;
}

TEST(IncludeRules, EachReadsLinesItsOwnWay) {
    struct Case {
        std::string line;
        Read library, compiler;
    };
    const std::vector<Case> cases = {
        {"#include <a.h>", {true, true, "a.h", false, false, true}, {true, true, "a.h", false, false, true}},
        {"#include \"d/a.h\"", {true, true, "d/a.h", true, false, true}, {true, true, "d/a.h", true, false, true}},
        // The library knows "#include" as written; a compiler every spelling.
        {"# include <a.h>", {true, false, "", false, false, false}, {true, true, "a.h", false, false, true}},
        {"#include_next <a.h>", {}, {true, true, "a.h", false, true, true}},
        // A macro names the header: nothing to wrap.
        {"#include HEADER", {true, false, "", false, false, true}, {true, false, "", false, false, false}},
        // The precompiled header, compared by file name without case.
        {"#include \"src/StdAfx.h\"", {true, true, "src/StdAfx.h", true, false, false},
         {true, true, "src/StdAfx.h", true, false, false}},
        {"#define X 1", {}, {}},
    };
    for (const Case& c : cases) {
        for (const auto& [rules, expected] : {std::make_pair(&vimbo::analysis::libraryRules(), c.library),
                                              std::make_pair(&vimbo::analysis::compilerRules(), c.compiler)}) {
            const Read got = readLine(*rules, c.line);
            const std::string where = c.line + " (" + rules->name() + ")";
            EXPECT_EQ(got.includes, expected.includes) << where;
            EXPECT_EQ(got.named, expected.named) << where;
            if (expected.named) {
                EXPECT_EQ(got.name, expected.name) << where;
                EXPECT_EQ(got.quoted, expected.quoted) << where;
            }
            EXPECT_EQ(got.next, expected.next) << where;
            EXPECT_EQ(got.mayWrap, expected.mayWrap) << where;
        }
    }
}

}  // namespace
