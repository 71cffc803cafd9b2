// Skin folders, skin.ini values, colours, fonts, and failing loads that keep the old skin.
#include "skin/Skin.h"

#include "SkinFixture.h"
#include "TempDir.h"

#include "core/Global.h"
#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class SkinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FOldAppPath = AppPath;
        AppPath = FDir.Path();
    }
    void TearDown() override { AppPath = FOldAppPath; }
    std::string SkinFolder(const std::string& name) const { return FDir.Path() + "/Skins/" + name; }

    static TTestSkinSize OldSize() {
        TTestSkinSize size;
        size.Height = 20;
        size.Menu = 40;
        size.Button = 30;
        return size;
    }
    // A skin still whole as OldSize wrote it.
    static void ExpectOldSkin(const TSkinData& skin) {
        EXPECT_EQ(skin.Height, 20);
        EXPECT_EQ(skin.MenuButton.Width, 40);
        EXPECT_EQ(skin.MenuButton.Bitmap.width(), 3 * 40);
        EXPECT_EQ(skin.Button.Width, 30);
    }

    TTempDir FDir;

  private:
    std::string FOldAppPath;
};

} // namespace

TEST(SkinColor, NumbersKeepTheirLowEightBits) {
    EXPECT_EQ(ParseSkinColor("255 0 0"), 0x0000FF);
    EXPECT_EQ(ParseSkinColor("256 0 0"), 0);
    EXPECT_EQ(ParseSkinColor("-1 0 0"), 255);
    EXPECT_EQ(ParseSkinColor("1 2 3"), 1 + 256 * 2 + 65536 * 3);
    EXPECT_EQ(ParseSkinColor("$FF $10 0"), 0xFF + 256 * 0x10);
    EXPECT_EQ(ParseSkinColor("0 0 0 black as night"), 0);
    EXPECT_EQ(ParseSkinColor("0 0 300 "), 65536 * 44);
}

TEST(SkinColor, MalformedTextIsAnErrorNotAGuess) {
    // Two blanks in a row leave an empty piece, which is no number.
    EXPECT_THROW(ParseSkinColor("0  0 0"), ESkinError);
    EXPECT_THROW(ParseSkinColor("red 0 0"), ESkinError);
    EXPECT_THROW(ParseSkinColor("0 0 1x"), ESkinError);
    EXPECT_THROW(ParseSkinColor("0 0 --1"), ESkinError);
    EXPECT_THROW(ParseSkinColor("0 0 $"), ESkinError);
    EXPECT_THROW(ParseSkinColor("99999999999 0 0"), ESkinError);
    // Fewer than three numbers must not read beyond what is there.
    EXPECT_THROW(ParseSkinColor("255"), ESkinError);
    EXPECT_THROW(ParseSkinColor("255 0"), ESkinError);
    EXPECT_THROW(ParseSkinColor(""), ESkinError);
    try {
        ParseSkinColor("0 x 0");
    } catch (const ESkinError& error) {
        EXPECT_STREQ(error.what(), "'x' is not a valid integer value");
    }
}

TEST_F(SkinTest, NamesAreEntriesWithoutExtensionSortedIgnoringCase) {
    for (const char* name : {"b", "A", "c.d", "_x"})
        std::filesystem::create_directories(SkinFolder(name));
    TTempDir::WriteFile(SkinFolder("Zed"), "a file, not a folder");
    TTempDir::WriteFile(SkinFolder("notes.txt"), "");
    InitSkins();
    EXPECT_EQ(SkinNames, (std::vector<std::string>{"A", "b", "Zed", "_x"}));
}

TEST_F(SkinTest, NoSkinsFolderGivesNoNames) {
    InitSkins();
    EXPECT_TRUE(SkinNames.empty());
    EXPECT_EQ(ChooseSkinName("Default"), "");
}

TEST_F(SkinTest, SkinChoiceIsCaseSensitiveAndFallsBackToTheFirst) {
    for (const char* name : {"Blue", "Amber"})
        std::filesystem::create_directories(SkinFolder(name));
    InitSkins();
    EXPECT_EQ(ChooseSkinName("Blue"), "Blue");
    EXPECT_EQ(ChooseSkinName("blue"), "Amber");
    EXPECT_EQ(ChooseSkinName(""), "Amber");
}

TEST_F(SkinTest, LoadReadsBitmapsMetricsColoursAndFonts) {
    WriteTestSkin(SkinFolder("Solid"), {},
                  "Font.Bold=1\nFont.Italic=0x1\nFont.Underline=true\n"
                  "[menu]\nborder.color=1 2 3\nSeperator.Color=4 5 6\nNormal.Color=7 8 9\n"
                  "Normal.BorderColor=10 11 12\nSelected.Color=13 14 15\n"
                  "Selected.BorderColor=16 17 18\nSelected.Font.Name=DejaVu Serif\n"
                  "Selected.Font.Size=12\nSelected.Font.Color=255 255 255\n");
    TSkinData skin;
    ASSERT_EQ(skin.LoadSkin("Solid"), "");
    EXPECT_EQ(skin.Height, 24);
    EXPECT_EQ(skin.Background.width(), 10);
    EXPECT_EQ(skin.Arrows.MoveBarWidth, 8);
    EXPECT_EQ(skin.Arrows.SizeBarWidth, 8);
    EXPECT_EQ(skin.Arrows.LeftArrowWidth, 12);
    EXPECT_EQ(skin.Arrows.LastArrowWidth, 12);
    EXPECT_EQ(skin.Arrows.DropdownWidth, 14);
    EXPECT_EQ(skin.Arrows.Bitmap.width(), 8 + 8 + 4 * 3 * 12 + 3 * 14);
    EXPECT_EQ(skin.MenuButton.Width, 30);
    EXPECT_EQ(skin.Error.Width, 20);
    EXPECT_EQ(skin.Button.Width, 24);
    EXPECT_EQ(skin.Button.BorderLeft, 3);
    EXPECT_EQ(skin.Button.BorderRight, 4);
    EXPECT_EQ(skin.Button.BorderTop, 4);
    EXPECT_EQ(skin.Button.BorderBottom, 4);
    EXPECT_EQ(skin.Button.Bitmap.pixel(0, 0), PieceColor(TPiece::ButtonLeft));

    EXPECT_EQ(skin.Button.Font.Font.family(), "DejaVu Sans");
    EXPECT_EQ(skin.Button.Font.Font.pointSize(), 9);
    EXPECT_EQ(skin.Button.Font.Color, 65536 * 255);
    EXPECT_TRUE(skin.Button.Font.Font.bold());
    EXPECT_TRUE(skin.Button.Font.Font.italic());
    EXPECT_FALSE(skin.Button.Font.Font.underline()); // a word is no number: the default

    EXPECT_EQ(skin.Menu.BorderColor, 1 + 256 * 2 + 65536 * 3);
    EXPECT_EQ(skin.Menu.SeparatorColor, 4 + 256 * 5 + 65536 * 6);
    EXPECT_EQ(skin.Menu.NormalColor, 7 + 256 * 8 + 65536 * 9);
    EXPECT_EQ(skin.Menu.NormalBorderColor, 10 + 256 * 11 + 65536 * 12);
    EXPECT_EQ(skin.Menu.SelectedColor, 13 + 256 * 14 + 65536 * 15);
    EXPECT_EQ(skin.Menu.SelectedBorderColor, 16 + 256 * 17 + 65536 * 18);
    EXPECT_EQ(skin.Menu.SelectedFont.Font.family(), "DejaVu Serif");
    EXPECT_EQ(skin.Menu.SelectedFont.Font.pointSize(), 12);
    EXPECT_EQ(skin.Menu.SelectedFont.Color, 0xFFFFFF);
}

TEST_F(SkinTest, FontGroupWithoutKeysIsTenPointTahomaBlack) {
    WriteTestSkin(SkinFolder("Plain"));
    TSkinData skin;
    skin.Menu.DisabledFont.Color = 123;
    skin.Menu.DisabledFont.Font.setBold(true);
    ASSERT_EQ(skin.LoadSkin("Plain"), "");
    const TSkinFont& font = skin.Menu.DisabledFont;
    EXPECT_EQ(font.Font.family(), "Tahoma");
    EXPECT_EQ(font.Font.pointSize(), 10);
    EXPECT_EQ(font.Color, 0);
    EXPECT_FALSE(font.Font.bold());
    EXPECT_FALSE(font.Font.italic());
    EXPECT_FALSE(font.Font.underline());
    EXPECT_EQ(skin.Menu.BorderColor, 0);
}

// Every failure is a text naming its cause, and the skin loaded before stays whole.
TEST_F(SkinTest, FailedLoadNamesItsCauseAndKeepsTheOldSkinWhole) {
    WriteTestSkin(SkinFolder("Old"), OldSize());
    std::filesystem::create_directories(SkinFolder("Empty"));
    WriteTestSkin(SkinFolder("Broken"));
    TTempDir::WriteFile(SkinFolder("Broken") + "/menubutton.bmp", "GIF89a this is no bitmap");
    WriteTestSkin(SkinFolder("Holey"));
    std::filesystem::remove(SkinFolder("Holey") + "/error.bmp");
    WriteTestSkin(SkinFolder("Odd"), {}, "[Menu]\nNormal.Color=0  0 0\nSelected.Color=1 1 1\n");

    TSkinData skin;
    EXPECT_EQ(skin.LoadSkin("Missing"), "The specified skin does not exist!");
    EXPECT_FALSE(skin.Loaded());
    ASSERT_EQ(skin.LoadSkin("Old"), "");
    EXPECT_EQ(skin.LoadSkin("Empty"), "The specified skin does not exist!");
    ExpectOldSkin(skin);
    EXPECT_EQ(skin.LoadSkin("Broken"), "Bitmap image is not valid");
    ExpectOldSkin(skin);
    EXPECT_EQ(skin.LoadSkin("Holey"), "Cannot open file " + SkinFolder("Holey") + "/error.bmp");
    ExpectOldSkin(skin);
    // A colour is read after every bitmap: the last piece to fail.
    EXPECT_EQ(skin.LoadSkin("Odd"), "'' is not a valid integer value");
    ExpectOldSkin(skin);
}

TEST_F(SkinTest, MissingKeysGiveZeroWidths) {
    WriteTestSkin(SkinFolder("Bare"));
    TTempDir::WriteFile(SkinFolder("Bare") + "/skin.ini", "; nothing here\n");
    TSkinData skin;
    skin.Arrows.DropdownWidth = 5;
    ASSERT_EQ(skin.LoadSkin("Bare"), "");
    EXPECT_EQ(skin.Height, 24);
    EXPECT_EQ(skin.Arrows.DropdownWidth, 0);
    EXPECT_EQ(skin.Button.Width, 0);
    EXPECT_EQ(skin.Button.Font.Font.family(), "Tahoma");
}

// The shipped skins set every key and hold every piece at the bar's height.
TEST(ShippedSkins, EveryKeySetAndEveryPieceInItsBitmap) {
    const std::string oldAppPath = AppPath;
    AppPath = QB_RESOURCES;
    InitSkins();
    ASSERT_GE(SkinNames.size(), 2u);
    EXPECT_EQ(SkinNames.front(), "Default");
    for (const std::string& name : SkinNames) {
        SCOPED_TRACE(name);
        const TIniFile ini(AppPath + "/Skins/" + name + "/skin.ini");
        const std::vector<std::pair<std::string, std::vector<std::string>>> keys = {
            {"Arrows",
             {"MoveBar.Width", "SizeBar.Width", "LeftArrow.Width", "RightArrow.Width",
              "FirstArrow.Width", "LastArrow.Width", "Dropdown.Width"}},
            {"MenuButton", {"Width"}},
            {"Error", {"Width"}},
            {"Button", {"Width", "Border.Left", "Border.Right", "Border.Top", "Border.Bottom"}},
            {"Menu",
             {"Border.Color", "Seperator.Color", "Normal.Color", "Normal.BorderColor",
              "Selected.Color", "Selected.BorderColor"}},
        };
        const std::vector<std::pair<std::string, std::string>> fonts = {{"Button", "Font"},
                                                                        {"Menu", "Normal.Font"},
                                                                        {"Menu", "Selected.Font"},
                                                                        {"Menu", "Disabled.Font"}};
        for (const auto& [section, names] : keys)
            for (const std::string& key : names)
                EXPECT_NE(ini.ReadString(section, key, "?"), "?") << section << " " << key;
        for (const auto& [section, prefix] : fonts)
            for (const char* key : {".Name", ".Size", ".Color", ".Bold", ".Italic", ".Underline"})
                EXPECT_NE(ini.ReadString(section, prefix + key, "?"), "?") << prefix << key;

        TSkinData skin;
        ASSERT_EQ(skin.LoadSkin(name), "");
        EXPECT_GE(skin.Height, 22);
        EXPECT_LE(skin.Height, 26);
        const auto& a = skin.Arrows;
        EXPECT_GE(a.Bitmap.width(),
                  a.MoveBarWidth + a.SizeBarWidth +
                      3 * (a.LeftArrowWidth + a.RightArrowWidth + a.FirstArrowWidth +
                           a.LastArrowWidth + a.DropdownWidth));
        EXPECT_GE(skin.MenuButton.Bitmap.width(), 3 * skin.MenuButton.Width);
        EXPECT_GE(skin.Button.Bitmap.width(), 3 * skin.Button.Width);
        EXPECT_GT(skin.Button.Width - skin.Button.BorderLeft - skin.Button.BorderRight, 0);
        EXPECT_GE(skin.Error.Bitmap.width(), 3 * skin.Error.Width);
        for (const QImage* image : std::initializer_list<const QImage*>{
                 &a.Bitmap, &skin.MenuButton.Bitmap, &skin.Button.Bitmap, &skin.Error.Bitmap})
            EXPECT_GE(image->height(), skin.Height);
        for (int width : {a.MoveBarWidth, a.SizeBarWidth, a.LeftArrowWidth, a.DropdownWidth,
                          skin.MenuButton.Width, skin.Error.Width})
            EXPECT_GT(width, 0);
    }
    AppPath = oldAppPath;
}
