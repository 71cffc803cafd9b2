// Attachment names: the kept extension, hidden characters, the remembered key, numbering.
#include "mime/AttachmentName.h"

#include <gtest/gtest.h>

TEST(AttachmentName, ShorteningKeepsTheLastExtensionWhateverItsLength) {
    const std::string extension = "." + std::string(40, 'b');
    const std::string name = SafeFileName(std::string(300, 'a') + ".desktop" + extension);
    EXPECT_EQ(name, std::string(255 - extension.size(), 'a') + extension);
}

TEST(AttachmentName, DirectionAndC1ControlsAreDropped) {
    // The display text wraps right-to-left names in an isolate; it must not end the
    // extension.
    EXPECT_EQ(SafeFileName("\u2068\u05e9\u05dc\u05d5\u05dd.txt\u2069"),
              "\u05e9\u05dc\u05d5\u05dd.txt");
    EXPECT_EQ(SafeFileName("invoice\u202etxt.exe"), "invoicetxt.exe");
    EXPECT_EQ(SafeFileName("a\u0085b\u200f.txt"), "ab.txt");
}

TEST(AttachmentName, TheRememberedKeyIsTheLowerCaseLastExtension) {
    EXPECT_EQ(AttachmentExtension("Report.Tar.GZ"), ".gz");
    EXPECT_EQ(AttachmentExtension(".PDF"), ".pdf");
    EXPECT_EQ(AttachmentExtension("README"), "");
    EXPECT_EQ(AttachmentExtension("name."), "");
}

TEST(AttachmentName, NumberedNamesKeepTheExtensionWithin255Bytes) {
    EXPECT_EQ(NumberedFileName("same.txt", 2), "same (2).txt");
    EXPECT_EQ(NumberedFileName("README", 3), "README (3)");
    const std::string full = SafeFileName(std::string(300, 'a') + ".desktop");
    const std::string numbered = NumberedFileName(full, 12);
    EXPECT_LE(numbered.size(), 255u);
    EXPECT_TRUE(numbered.ends_with("a (12).desktop"));
}
