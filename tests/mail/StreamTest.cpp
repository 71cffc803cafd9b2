// Memory and file streams under the decoder.
#include "mime/Stream.h"

#include "TempDir.h"

#include <gtest/gtest.h>

TEST(MemoryStream, ReadsFromThePositionToTheEnd) {
    TMemoryStream stream("abcdef");
    char buffer[8] = {};
    stream.Seek(2);
    EXPECT_EQ(stream.Read(buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "cde");
    EXPECT_EQ(stream.Read(buffer, 8), 1u);
    EXPECT_EQ(stream.Read(buffer, 8), 0u);
    EXPECT_EQ(stream.Position(), 6);
    stream.Seek(100);
    EXPECT_EQ(stream.Position(), 6);
}

TEST(FileStream, ReadsWholeFileAndRefusesAMissingOne) {
    TTempDir dir;
    const std::string path = dir.File("m.eml");
    TTempDir::WriteFile(path, std::string("a\0b", 3));
    TFileStream stream(path);
    EXPECT_EQ(stream.Size(), 3);
    char buffer[8];
    EXPECT_EQ(stream.Read(buffer, 8), 3u);
    EXPECT_EQ(std::string(buffer, 3), std::string("a\0b", 3));
    EXPECT_EQ(stream.Read(buffer, 8), 0u);
    EXPECT_THROW(TFileStream(dir.File("missing.eml")), EStreamError);
}
