// Program folder and the shared string and sort helpers.
#include "core/Global.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

TEST(AppPath, FolderWithoutTrailingSeparator) {
    EXPECT_EQ(AppPathFromExe("/opt/quillbar/bin/quillbar"), "/opt/quillbar/bin");
    EXPECT_EQ(AppPathFromExe("C:\\Program Files\\Quillbar\\quillbar.exe"),
              "C:\\Program Files\\Quillbar");
    // A drive root keeps its colon; the root folder gives an empty path.
    EXPECT_EQ(AppPathFromExe("C:\\quillbar.exe"), "C:");
    EXPECT_EQ(AppPathFromExe("/quillbar"), "");
    EXPECT_EQ(AppPathFromExe("quillbar"), "");
}

TEST(Split, SeparatorPlacementDecidesEmptyElements) {
    EXPECT_EQ(Split("a,b,", ","), (TSplitArray{"a", "b"}));
    EXPECT_EQ(Split(",a", ","), (TSplitArray{"", "a"}));
    EXPECT_EQ(Split("a,,b", ","), (TSplitArray{"a", "", "b"}));
    EXPECT_TRUE(Split("", ",").empty());
    EXPECT_EQ(Split("aXXbXXc", "XX"), (TSplitArray{"a", "b", "c"}));
    EXPECT_EQ(Split("aXb", "x"), (TSplitArray{"aXb"}));
}

TEST(StripHTML, RemovesMultiLineScriptAndKeepsSurroundingText) {
    EXPECT_EQ(StripHTML("before<SCRIPT type=\"x\">\nvar a = '<b>';\n</script>after"),
              "beforeafter");
    EXPECT_EQ(StripHTML("<style>p{}\n</style><p>Hello <b>world</b></p>&amp;"), "Hello world&amp;");
    EXPECT_EQ(StripHTML("no markup"), "no markup");
    EXPECT_EQ(StripHTML("a < b"), "a < b");
}

TEST(SortIntegers, SortsPrefixOnlyIncludingSortedAndEqualRuns) {
    std::vector<int> values{5, 3, 9, 1, 7, 0};
    SortIntegers(values, 3);
    EXPECT_EQ(values, (std::vector<int>{1, 3, 5, 9, 7, 0}));

    std::vector<int> big(100000);
    std::mt19937 random(7);
    for (auto& v : big)
        v = static_cast<int>(random() % 50);
    SortIntegers(big, static_cast<int>(big.size()) - 1);
    EXPECT_TRUE(std::is_sorted(big.begin(), big.end()));

    std::vector<int> sorted(100000);
    for (int i = 0; i < 100000; ++i)
        sorted[i] = i;
    SortIntegers(sorted, 99999);
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));

    std::vector<int> empty;
    SortIntegers(empty, -1);
    EXPECT_TRUE(empty.empty());
}
