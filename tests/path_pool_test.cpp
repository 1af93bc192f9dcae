// Paths kept compactly give back exactly what was added, in any form.
#include <gtest/gtest.h>

#include "analysis/path_pool.h"

namespace {

TEST(PathPool, GivesBackEveryPathAsAdded) {
    const std::vector<std::string> paths = {
        "/usr/include/boost/config.hpp", "/usr/include/boost/version.hpp", "relative.h", "",
        "dir\\sub/mixed.h",  "C:\\inc\\win.h", "/usr/include/boost/",        "/",
        "/usr/include/boost/config.hpp"};
    vimbo::analysis::PathPool pool;
    for (std::size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(pool.add(paths[i]), i);
    ASSERT_EQ(pool.size(), paths.size());
    for (std::uint32_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(pool[i], paths[i]);
        EXPECT_TRUE(pool.equals(i, paths[i])) << paths[i];
        EXPECT_FALSE(pool.equals(i, paths[i] + "x")) << paths[i];
        EXPECT_FALSE(pool.equals(i, "x" + paths[i])) << paths[i];
    }
    EXPECT_FALSE(pool.equals(0, "/usr/include/boost/version.hpp"));
}

}  // namespace
