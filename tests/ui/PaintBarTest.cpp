// Pixels of the drawn bar: every element in its place and state, tiles, borders, marks and text.
#include "skin/BarPainter.h"

#include "SkinFixture.h"
#include "TempDir.h"

#include "core/Global.h"

#include <gtest/gtest.h>

namespace {

constexpr int Top = 1; // a row above the text rectangle of the test skin

class PaintBarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FOldAppPath = AppPath;
        AppPath = FDir.Path();
    }
    void TearDown() override { AppPath = FOldAppPath; }

    void Load(const TTestSkinSize& size = {}) {
        WriteTestSkin(FDir.Path() + "/Skins/Solid", size);
        ASSERT_EQ(Skin.LoadSkin("Solid"), "");
        ASSERT_EQ(Skin.Height, size.Height);
    }

    TBarLayout Paint(int unread, int mouseX = -1, bool down = false) {
        State.ClientWidth = 600;
        State.EntryCount = unread;
        State.IsRead = [](int) { return false; };
        State.MouseX = mouseX;
        State.MouseY = mouseX < 0 ? -1 : 5;
        State.MouseDown = down;
        return Painter.PaintBar(Skin, State, [this](int k) {
            return k < int(Entries.size()) ? Entries[size_t(k)] : TBarEntry{};
        });
    }

    QRgb At(int x, int y = Top) const { return Painter.BarImage.pixel(x, y); }

    // Every column of [from, to) in row y has the colour.
    void ExpectSpan(int from, int to, QRgb color, int y = Top) const {
        for (int x = from; x < to; ++x)
            ASSERT_EQ(At(x, y), color) << "x = " << x;
    }

    TSkinData Skin;
    TBarPainter Painter;
    TBarState State;
    std::vector<TBarEntry> Entries;

  private:
    TTempDir FDir;
    std::string FOldAppPath;
};

} // namespace

TEST_F(PaintBarTest, EveryElementInItsPlaceAtFullHeight) {
    Load();
    const TBarLayout layout = Paint(6);
    EXPECT_EQ(Painter.BarImage.size(), QSize(600, 24));
    ExpectSpan(0, 8, PieceColor(TPiece::MoveBar));
    ExpectSpan(8, 38, PieceColor(TPiece::MenuButton));
    ExpectSpan(38, 52, PieceColor(TPiece::Dropdown));
    ExpectSpan(52, 76, PieceColor(TPiece::Background)); // no first and left arrows
    for (const int left : {76, 192, 308, 424}) {
        ExpectSpan(left, left + 3, PieceColor(TPiece::ButtonLeft));
        ExpectSpan(left + 3, left + 112, PieceColor(TPiece::ButtonMiddle));
        ExpectSpan(left + 112, left + 116, PieceColor(TPiece::ButtonRight));
    }
    ExpectSpan(540, 554, PieceColor(TPiece::Background));
    ExpectSpan(554, 566, PieceColor(TPiece::RightArrow));
    ExpectSpan(566, 578, PieceColor(TPiece::LastArrow));
    ExpectSpan(578, 592, PieceColor(TPiece::Dropdown));
    ExpectSpan(592, 600, PieceColor(TPiece::SizeBar));
    // Whole height, not only the first row.
    EXPECT_EQ(At(100, 23), PieceColor(TPiece::ButtonMiddle));
    EXPECT_EQ(At(560, 0), PieceColor(TPiece::RightArrow));
    EXPECT_EQ(layout.HotItem, HotNone);
}

TEST_F(PaintBarTest, HotAndPressedStatesUseTheirBitmapColumns) {
    Load();
    EXPECT_EQ(Paint(6, 20).HotItem, HotMenuButton);
    ExpectSpan(8, 38, PieceColor(TPiece::MenuButton, StateHot));
    Paint(6, 20, true);
    ExpectSpan(8, 38, PieceColor(TPiece::MenuButton, StatePressed));

    EXPECT_EQ(Paint(6, 200).HotItem, HotFirstMessage + 1);
    ExpectSpan(192, 195, PieceColor(TPiece::ButtonLeft, StateHot));
    ExpectSpan(195, 304, PieceColor(TPiece::ButtonMiddle, StateHot));
    ExpectSpan(304, 308, PieceColor(TPiece::ButtonRight, StateHot));
    ExpectSpan(79, 188, PieceColor(TPiece::ButtonMiddle), 22); // neighbours stay normal
    ExpectSpan(79, 188, PieceColor(TPiece::ButtonMiddle));
    Paint(6, 200, true);
    ExpectSpan(195, 304, PieceColor(TPiece::ButtonMiddle, StatePressed));

    Paint(6, 560, true);
    ExpectSpan(554, 566, PieceColor(TPiece::RightArrow, StatePressed));
    ExpectSpan(566, 578, PieceColor(TPiece::LastArrow));
    Paint(6, 570);
    ExpectSpan(566, 578, PieceColor(TPiece::LastArrow, StateHot));
}

TEST_F(PaintBarTest, ScrolledBarDrawsFirstAndLeftArrows) {
    Load();
    State.FirstVisible = 2;
    Paint(6, 70, true);
    ExpectSpan(52, 64, PieceColor(TPiece::FirstArrow));
    ExpectSpan(64, 76, PieceColor(TPiece::LeftArrow, StatePressed));
    ExpectSpan(554, 578, PieceColor(TPiece::Background)); // nothing more on the right
}

TEST_F(PaintBarTest, ErrorsAndOpenListChangeTheirButtons) {
    Load();
    State.HasErrors = true;
    State.ListShown = true;
    Paint(0, 45);
    ExpectSpan(38, 58, PieceColor(TPiece::Error, StateHot));
    ExpectSpan(58, 72, PieceColor(TPiece::Dropdown, StatePressed));
    ExpectSpan(72, 578, PieceColor(TPiece::Background));
    ExpectSpan(578, 592, PieceColor(TPiece::Dropdown, StatePressed));
}

TEST_F(PaintBarTest, BackgroundTilesEvenWhenTheWidthIsNoMultiple) {
    TTestSkinSize size;
    size.Background = 7;
    Load(size);
    Paint(0);
    ExpectSpan(52, 578, PieceColor(TPiece::Background));
}

TEST_F(PaintBarTest, DegenerateSkinDrawsWithoutTilesInsteadOfFailing) {
    TTestSkinSize size;
    size.BorderLeft = 12;
    size.BorderRight = 12; // no middle part at all
    Load(size);
    Paint(6);
    // The borders stand at both ends, black between them.
    ExpectSpan(76, 88, PieceColor(TPiece::ButtonLeft));
    EXPECT_EQ(At(100), qRgb(0, 0, 0));
    ExpectSpan(180, 192, PieceColor(TPiece::ButtonRight));

    Skin.Background = QImage();
    Paint(0);
    EXPECT_EQ(At(300), qRgb(0, 0, 0));
    ExpectSpan(578, 592, PieceColor(TPiece::Dropdown));
}

TEST_F(PaintBarTest, CaptionStaysInsideTheTextRectangle) {
    Load();
    Entries = {TBarEntry{QString(200, u'W'), 0, NoAccountColor}};
    const TBarLayout layout = Paint(1);
    const int left = layout.Buttons[0].Left;
    const int right = left + layout.ButtonWidth;
    bool inked = false;
    for (int y = 0; y < 24; ++y) {
        for (int x = right - 4; x < right; ++x)
            ASSERT_EQ(At(x, y), PieceColor(TPiece::ButtonRight)) << x << "," << y;
        for (int x = left + 3; x < right - 4; ++x)
            inked = inked || At(x, y) != PieceColor(TPiece::ButtonMiddle);
    }
    EXPECT_TRUE(inked);
}

TEST_F(PaintBarTest, AccountColourOverridesTheSkinFontColour) {
    Load();
    const auto inkOf = [&](int color) {
        Entries = {TBarEntry{"MMMMMMMM", 0, color}};
        Paint(1);
        // The darkest-by-distance pixel from the button's middle colour is the ink.
        QRgb ink = PieceColor(TPiece::ButtonMiddle);
        int best = 0;
        for (int y = 4; y < 20; ++y)
            for (int x = 80; x < 180; ++x) {
                const QRgb c = At(x, y);
                const QRgb m = PieceColor(TPiece::ButtonMiddle);
                const int d = std::abs(qRed(c) - qRed(m)) + std::abs(qGreen(c) - qGreen(m)) +
                              std::abs(qBlue(c) - qBlue(m));
                if (d > best) {
                    best = d;
                    ink = c;
                }
            }
        return ink;
    };
    // The test skin's font is pure blue (0 0 255); the account's pure red.
    const QRgb skinInk = inkOf(NoAccountColor);
    EXPECT_GT(qBlue(skinInk), 200);
    EXPECT_LT(qRed(skinInk), 80);
    const QRgb accountInk = inkOf(0x0000FF);
    EXPECT_GT(qRed(accountInk), 200);
    EXPECT_LT(qBlue(accountInk), 80);
}

TEST_F(PaintBarTest, PriorityMarkMovesTheTextRight) {
    Load();
    const auto firstInkColumn = [&](int priority) {
        Entries = {TBarEntry{"IIII", priority, NoAccountColor}};
        const TBarLayout layout = Paint(1);
        const int left = layout.Buttons[0].Left;
        for (int x = left + 3; x < left + 100; ++x)
            for (int y = 4; y < 20; ++y)
                if (At(x, y) != PieceColor(TPiece::ButtonMiddle))
                    return x - left;
        return -1;
    };
    const int plain = firstInkColumn(0);
    ASSERT_GE(plain, 3);
    EXPECT_EQ(firstInkColumn(3), plain);
    // The mark itself starts at the text rectangle's left edge.
    EXPECT_LE(firstInkColumn(1), plain);
    EXPECT_NE(Painter.HighPriority.pixel(6, 6), Painter.LowPriority.pixel(6, 6));
    const QRgb markCentre = At(76 + 3 + 6, 4 + (16 - 12) / 2 + 6);
    EXPECT_EQ(markCentre, Painter.HighPriority.pixel(6, 6));

    // Without marks, compare where the text starts: the caption is drawn
    // in the same font, so its first column moves by exactly 16.
    Painter.HighPriority = QImage(12, 12, QImage::Format_ARGB32_Premultiplied);
    Painter.HighPriority.fill(Qt::transparent);
    EXPECT_EQ(firstInkColumn(2), plain + 16);
}

TEST_F(PaintBarTest, PressedButtonMovesItsTextOnePixel) {
    Load();
    Entries = {TBarEntry{"IIII", 0, NoAccountColor}};
    const auto inkBox = [&](bool down) {
        Paint(1, 150, down);
        const QRgb back = PieceColor(TPiece::ButtonMiddle, down ? StatePressed : StateHot);
        QRect box;
        for (int y = 0; y < 24; ++y)
            for (int x = 79; x < 188; ++x)
                if (At(x, y) != back)
                    box |= QRect(x, y, 1, 1);
        return box;
    };
    EXPECT_EQ(inkBox(true), inkBox(false).translated(1, 1));
}

TEST_F(PaintBarTest, FailingEntryLeavesThePreviousPictureWhole) {
    Load();
    Paint(6, 20);
    const QImage before = Painter.BarImage.copy();
    State.MouseX = 200;
    EXPECT_THROW(
        Painter.PaintBar(Skin, State, [](int) -> TBarEntry { throw std::runtime_error("gone"); }),
        std::runtime_error);
    EXPECT_EQ(Painter.BarImage, before);
}
