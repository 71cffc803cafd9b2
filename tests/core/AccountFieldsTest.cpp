// Cutting account texts to their stored length.
#include "core/AccountFields.h"

#include <gtest/gtest.h>

TEST(AccountFields, CutStopsAtTheLengthButNeverInsideAUtf8Sequence) {
    EXPECT_EQ(CutField(std::string(300, 'a')).size(), 255u);
    EXPECT_EQ(CutField("short"), "short");
    // 254 ASCII bytes, then a two-byte "é": the whole "é" goes.
    const std::string text = std::string(254, 'a') + "\xC3\xA9" + "b";
    EXPECT_EQ(CutField(text), std::string(254, 'a'));
    // A four-byte sequence across the limit.
    EXPECT_EQ(CutField("ab\xF0\x9F\x90\x84", 4), "ab");
}
