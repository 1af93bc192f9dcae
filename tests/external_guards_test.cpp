// The external guards a file already has, found line by line in real files
// under the library's rules and a compiler's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/external_guards.h"
#include "analysis/header_cache.h"
#include "support/temp_dir.h"

namespace {

using vimbo::analysis::LookupRules;

struct WrapperCase {
    const char* text;
    const char* library;   // "line/depth:macro:problem", "; " between
    const char* compiler;
};

class FindGuardWrappers : public vimbo::test::TempDirTest {
protected:
    std::string wrappersOf(const std::string& text, LookupRules rules) {
        std::vector<std::string> lines;
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(text.substr(start, end - start));
            if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
            start = end + 1;
        }
        vimbo::analysis::HeaderCache headers(vimbo::test::fileSystem());
        vimbo::analysis::GuardAnalyzer analyzer(headers);
        vimbo::analysis::HeaderLookup lookup{"inc", "", rules};
        std::string found;
        for (const vimbo::analysis::GuardWrapper& w : findGuardWrappers(lines, "src.c", lookup, analyzer))
            found += (found.empty() ? "" : "; ") + std::to_string(w.line) + "/" + std::to_string(w.depth) + ":" +
                     w.macro + ":" + w.problem;
        return found;
    }
};

TEST_F(FindGuardWrappers, FindsTheWrappersTheCompilerSees) {
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    write("inc/nog.h", "int nog;\n");
    const WrapperCase cases[] = {
        {"#ifndef A_H\n#include <a.h>\n#endif\n", "2/1:A_H:", "2/1:A_H:"},
        {"#if !defined(A_H)\n#include <a.h>\n#endif", "2/1:A_H:", "2/1:A_H:"},
        {"#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n", "2/1:A_H:", "2/1:A_H:"},
        {"#ifndef A_H // c\n#include <a.h> /* c */\n#endif /* c */\n", "2/1:A_H:", "2/1:A_H:"},
        // The library's rules read "#include" alone.
        {"#ifndef A_H\n# include <a.h>\n#endif\n", "", "2/1:A_H:"},
        {"#ifndef X_H\n#ifndef A_H\n#include <a.h>\n#endif\n#endif\n", "3/1:A_H:", "3/1:A_H:"},
        {"#ifndef A_H_\n#include <a.h>\n#endif\n", "2/1:A_H_:is guarded by A_H", "2/1:A_H_:is guarded by A_H"},
        {"#ifndef NOG_H\n#include <nog.h>\n#endif\n", "2/1:NOG_H:has no guard that covers the whole file",
         "2/1:NOG_H:has no guard that covers the whole file"},
        {"#ifndef MISSING_H\n#include <missing.h>\n#endif\n", "2/1:MISSING_H:is not found",
         "2/1:MISSING_H:is not found"},
        // A feature test before an include is no wrapper.
        {"#ifndef NO_A\n#include <a.h>\n#endif\n", "", ""},
        // Lines the preprocessor doesn't see as these directives, or not alone.
        {"/*\n#ifndef A_H\n*/\n#include <a.h>\n#endif\n", "", ""},
        {"#ifndef A_H\n#include \\\n<a.h>\n#endif\n", "", ""},
        {"#ifndef A_H\n#include <a.h> /* x\n*/\n#endif\n", "", ""},
        {"#ifndef A_H\n#include <a.h>\n#else\n#endif\n", "", ""},
        {"#ifndef A_H\r#include <a.h>\n#endif\n", "", ""},
        {"const char* r = R\"x(\n#ifndef A_H\n#include <a.h>\n#endif\n)x\";\n", "", ""},
        {"#include <a.h>\n", "", ""},
    };
    for (const WrapperCase& c : cases) {
        EXPECT_EQ(wrappersOf(c.text, LookupRules::library), c.library) << c.text;
        EXPECT_EQ(wrappersOf(c.text, LookupRules::compiler), c.compiler) << c.text;
    }
}

}  // namespace
