// Profile file semantics, robustness against bad files, atomic and batched writes.
#include "core/IniFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using TPairs = std::vector<std::pair<std::string, std::string>>;

ino_t Inode(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_ino;
}

size_t FileCount(const std::string& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

} // namespace

TEST(IniFile, MissingFileReadsDefaults) {
    TTempDir dir;
    TIniFile ini(dir.File("none.ini"));
    EXPECT_EQ(ini.ReadString("Options", "Skin", "Default"), "Default");
    EXPECT_EQ(ini.ReadInteger("Options", "Interval", 5), 5);
    EXPECT_TRUE(ini.ReadBool("Options", "Scroll", true));
    EXPECT_TRUE(ini.ReadSections().empty());
    EXPECT_TRUE(ini.ReadSectionValues("Options").empty());
}

TEST(IniFile, NamesIgnoreCaseAndFirstDuplicateWins) {
    TTempDir dir;
    TTempDir::WriteFile(dir.File("a.ini"), "[Options]\r\n  Skin  =  Blue Sky  \r\nskin=Red\r\n"
                                           "[Bar]\nEdge=2\n[OPTIONS]\nSkin=Green\nOther=1\n");
    TIniFile ini(dir.File("a.ini"));
    EXPECT_EQ(ini.ReadString("options", "SKIN", ""), "Blue Sky");
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Options", "Bar"}));
    EXPECT_EQ(ini.ReadSectionValues("OPTIONS"), (TPairs{{"Skin", "Blue Sky"}}));
    EXPECT_EQ(ini.ReadString("Options", "Other", "none"), "none");
    EXPECT_EQ(ini.ReadSection("bar"), (std::vector<std::string>{"Edge"}));
}

TEST(IniFile, GarbageLinesAreSkippedAndSurviveRewrite) {
    TTempDir dir;
    static const char bytes[] = "orphan=1\n[S]\n; comment=1\nno equals sign\n=novalue\n"
                                "bin\x01\xff\x00zz=v\x00w\n[broken\nk=v\n";
    const std::string garbage(bytes, sizeof(bytes) - 1);
    TTempDir::WriteFile(dir.File("g.ini"), garbage);
    TIniFile ini(dir.File("g.ini"));
    EXPECT_TRUE(ini.ReadString("", "orphan", "d") == "d");
    const TPairs values = ini.ReadSectionValues("S");
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].first, std::string("bin\x01\xff\x00zz", 8));
    EXPECT_EQ(values[0].second, std::string("v\x00w", 3));
    EXPECT_EQ(values[1], (std::pair<std::string, std::string>{"k", "v"}));

    ASSERT_TRUE(ini.WriteString("S", "k", "changed"));
    const std::string after = TTempDir::ReadFile(dir.File("g.ini"));
    EXPECT_NE(after.find("; comment=1\nno equals sign\n=novalue\n"), std::string::npos);
    EXPECT_NE(after.find("k=changed"), std::string::npos);
    EXPECT_EQ(after.find("k=v"), std::string::npos);
}

TEST(IniFile, IntegersDecimalOrHexElseDefault) {
    TTempDir dir;
    TTempDir::WriteFile(dir.File("n.ini"), "[N]\na=42\nb=-7\nc=0x1F\nd=$1fffffff\ne=12abc\nf=\n"
                                           "g=99999999999\nh=0xFFFFFFFF\ni=0x\nj= 8 \n");
    TIniFile ini(dir.File("n.ini"));
    EXPECT_EQ(ini.ReadInteger("N", "a", 0), 42);
    EXPECT_EQ(ini.ReadInteger("N", "b", 0), -7);
    EXPECT_EQ(ini.ReadInteger("N", "c", 0), 31);
    EXPECT_EQ(ini.ReadInteger("N", "d", 0), 536870911);
    EXPECT_EQ(ini.ReadInteger("N", "e", 3), 3);
    EXPECT_EQ(ini.ReadInteger("N", "f", 3), 3);
    EXPECT_EQ(ini.ReadInteger("N", "g", 3), 3);
    EXPECT_EQ(ini.ReadInteger("N", "h", 3), -1);
    EXPECT_EQ(ini.ReadInteger("N", "i", 3), 3);
    EXPECT_EQ(ini.ReadInteger("N", "j", 3), 8);
    EXPECT_TRUE(ini.ReadBool("N", "c", false));
    EXPECT_FALSE(ini.ReadBool("N", "e", false));
}

TEST(IniFile, LongValueIsCutTo2047Characters) {
    TTempDir dir;
    TIniFile ini(dir.File("l.ini"));
    ASSERT_TRUE(ini.WriteString("S", "k", std::string(5000, 'v')));
    EXPECT_EQ(ini.ReadString("S", "k", "").size(), 2047u);
    EXPECT_EQ(ini.ReadSectionValues("S")[0].second.size(), 2047u);
}

TEST(IniFile, WritesPlaceKeysAndSectionsLikeProfileFiles) {
    TTempDir dir;
    TTempDir::WriteFile(dir.File("w.ini"), "[A]\nx=1\n\n[B]\ny=2\n");
    TIniFile ini(dir.File("w.ini"));
    ASSERT_TRUE(ini.WriteString("a", "z", "3"));
    ASSERT_TRUE(ini.WriteInteger("A", "X", 5));
    ASSERT_TRUE(ini.WriteBool("C", "on", true));
    ASSERT_TRUE(ini.WriteBool("C", "off", false));
    EXPECT_EQ(TTempDir::ReadFile(dir.File("w.ini")),
              "[A]\nX=5\nz=3\n\n[B]\ny=2\n[C]\non=1\noff=0\n");

    ASSERT_TRUE(ini.DeleteKey("A", "x"));
    ASSERT_TRUE(ini.DeleteKey("A", "missing"));
    ASSERT_TRUE(ini.EraseSection("b"));
    EXPECT_EQ(TTempDir::ReadFile(dir.File("w.ini")), "[A]\nz=3\n\n[C]\non=1\noff=0\n");
}

TEST(IniFile, UnsafeNamesAreRefusedAndLineBreaksDropped) {
    TTempDir dir;
    TIniFile ini(dir.File("u.ini"));
    EXPECT_FALSE(ini.WriteString("S", "a=b", "1"));
    EXPECT_FALSE(ini.WriteString("S", "", "1"));
    EXPECT_FALSE(ini.WriteString("S", "[T]", "1"));
    EXPECT_FALSE(ini.WriteString("S\n[T]", "k", "1"));
    ASSERT_TRUE(ini.WriteString("S", "k", "one\n[T]\nk=two"));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"S"}));
    EXPECT_EQ(ini.ReadString("S", "k", ""), "one[T]k=two");
}

TEST(IniFile, WriteReplacesFileByRenameAndLeavesNoTemporary) {
    TTempDir dir;
    const std::string path = dir.File("quillbar.ini");
    TTempDir::WriteFile(path, "[S]\nk=old\n");
    // A second link keeps the old inode: were the file rewritten in place, it would change too.
    ASSERT_EQ(link(path.c_str(), dir.File("old.ini").c_str()), 0);
    TIniFile ini(path);
    ASSERT_TRUE(ini.WriteString("S", "k", "new"));
    EXPECT_EQ(TTempDir::ReadFile(dir.File("old.ini")), "[S]\nk=old\n");
    EXPECT_EQ(TTempDir::ReadFile(path), "[S]\nk=new\n");
    EXPECT_NE(Inode(path), Inode(dir.File("old.ini")));
    EXPECT_EQ(FileCount(dir.Path()), 2u);
}

TEST(IniFile, WriteThroughSymbolicLinkKeepsTheLink) {
    TTempDir dir;
    TTempDir::WriteFile(dir.File("real.ini"), "[S]\nk=1\n");
    std::filesystem::create_symlink(dir.File("real.ini"), dir.File("link.ini"));
    TIniFile ini(dir.File("link.ini"));
    ASSERT_TRUE(ini.WriteString("S", "k", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(TTempDir::ReadFile(dir.File("real.ini")), "[S]\nk=2\n");
}

TEST(IniFile, FailedOrUnreadableTargetIsNeverDamaged) {
    TTempDir dir;
    TIniFile nowhere(dir.File("missing/folder/a.ini"));
    EXPECT_FALSE(nowhere.WriteString("S", "k", "v"));

    // A folder in place of the file cannot be read; it must not be replaced by a new file.
    std::filesystem::create_directory(dir.File("dir.ini"));
    TIniFile unreadable(dir.File("dir.ini"));
    EXPECT_EQ(unreadable.ReadString("S", "k", "d"), "d");
    EXPECT_FALSE(unreadable.WriteString("S", "k", "v"));
    // An update scope reports the refused edit at its end, with the cause.
    unreadable.BeginUpdate();
    unreadable.WriteString("S", "k", "v");
    EXPECT_FALSE(unreadable.EndUpdate());
    EXPECT_EQ(unreadable.LastError(), EISDIR);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("dir.ini")));
}

TEST(IniFile, UpdateScopeWritesOnceAtTheEnd) {
    TTempDir dir;
    const std::string path = dir.File("b.ini");
    TTempDir::WriteFile(path, "[S]\nk=0\n");
    TIniFile ini(path);
    {
        TIniUpdate update(ini);
        for (int i = 0; i < 1000; ++i)
            ASSERT_TRUE(ini.WriteInteger("S", "k", i));
        {
            TIniUpdate nested(ini);
            ini.WriteString("T", "n", "v");
        }
        // Reads inside the scope see the pending state; the file is still the old one.
        EXPECT_EQ(ini.ReadInteger("S", "k", -1), 999);
        EXPECT_EQ(ini.ReadString("T", "n", ""), "v");
        EXPECT_EQ(TTempDir::ReadFile(path), "[S]\nk=0\n");
    }
    EXPECT_EQ(TTempDir::ReadFile(path), "[S]\nk=999\n[T]\nn=v\n");

    // A scope that changes nothing does not touch the file.
    const ino_t before = Inode(path);
    {
        TIniUpdate update(ini);
        ini.WriteInteger("S", "k", 999);
    }
    EXPECT_EQ(Inode(path), before);
}

TEST(IniFile, ThousandsOfKeysAreAllSeenAndEditable) {
    TTempDir dir;
    TIniFile ini(dir.File("big.ini"));
    constexpr int Count = 30000;
    {
        TIniUpdate update(ini);
        for (int i = 0; i < Count; ++i)
            ini.WriteString("Account=Big", "X" + std::to_string(i), "uid" + std::to_string(i));
        for (int i = 0; i < Count; i += 2)
            ini.DeleteKey("Account=Big", "X" + std::to_string(i));
    }
    for (int i = 0; i < 50; ++i)
        ini.WriteString("Account=" + std::to_string(i), "k", "v");
    const TPairs values = ini.ReadSectionValues("account=big");
    ASSERT_EQ(values.size(), static_cast<size_t>(Count / 2));
    EXPECT_EQ(values.back(), (std::pair<std::string, std::string>{"X29999", "uid29999"}));
    EXPECT_EQ(ini.ReadSections().size(), 51u);
}
