#include "support/NestedPaths.h"

#include <gtest/gtest.h>

using namespace quorvex;

TEST(NestedPaths, KeepsOutermostAndFirstComparingBytesAtComponentBoundaries) {
    struct Case {
        std::vector<std::string> In, Out;
        std::size_t Removed;
    };
    const Case cases[] = {
        {{"/a/b/c", "/a/b", "/a/bc"}, {"/a/b", "/a/bc"}, 1},
        {{"/a/b", "/a/b/", "/a/b"}, {"/a/b"}, 2},
        {{"/x", "/", "/y/z"}, {"/"}, 2},
        {{"/a/B", "/a/b"}, {"/a/B", "/a/b"}, 0},
        {{"/d/\xff\xfe", "/d/\xff\xfe/x", "/d/\xff"}, {"/d/\xff\xfe", "/d/\xff"}, 1},
        {{"/a-b", "/a/c", "/a", "/a.b", "/a/c/d"}, {"/a-b", "/a", "/a.b"}, 2},
        {{"", "/e", "/f/g/", "/f/g/h"}, {"/e", "/f/g/"}, 2},
    };
    for (const Case& c : cases) {
        std::vector<std::string> paths = c.In;
        EXPECT_EQ(RemoveNestedPaths(paths), c.Removed) << ::testing::PrintToString(c.In);
        EXPECT_EQ(paths, c.Out) << ::testing::PrintToString(c.In);
    }
}
