// Test skins: every piece and state a solid colour of its own, in a temporary program folder.
#include "SkinFixture.h"

#include "TempDir.h"

#include <QGuiApplication>
#include <QPainter>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

// Painting text and loading fonts need a GUI application in the test process.
class TGuiEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "qb_skin_tests";
        static char* argv[] = {name, nullptr};
        if (!QGuiApplication::instance())
            FApp = new QGuiApplication(argc, argv);
    }
    void TearDown() override { delete FApp; }

  private:
    QGuiApplication* FApp = nullptr;
};

[[maybe_unused]] auto* const GuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new TGuiEnvironment);

struct TStrip {
    TPiece Piece;
    int Width;
    int States;
};

// Pieces side by side, each state a solid block of its own colour.
QImage Strip(const std::vector<TStrip>& pieces, int height) {
    int width = 0;
    for (const TStrip& s : pieces)
        width += s.Width * s.States;
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    int x = 0;
    for (const TStrip& s : pieces)
        for (int state = 0; state < s.States; ++state, x += s.Width)
            p.fillRect(x, 0, s.Width, height, QColor(PieceColor(s.Piece, state)));
    return image;
}

} // namespace

QRgb PieceColor(TPiece piece, int state) {
    return qRgb(16 * (int(piece) + 1), 20 + 100 * state, 60);
}

void WriteImage(const std::string& path, const QImage& image) {
    ASSERT_TRUE(image.save(QString::fromStdString(path), "BMP")) << path;
}

void WriteTestSkin(const std::string& folder, const TTestSkinSize& z, const std::string& extraIni) {
    std::filesystem::create_directories(folder);
    const int h = z.Height;
    WriteImage(folder + "/background.bmp", Strip({{TPiece::Background, z.Background, 1}}, h));
    WriteImage(folder + "/arrows.bmp", Strip({{TPiece::MoveBar, z.MoveBar, 1},
                                              {TPiece::SizeBar, z.SizeBar, 1},
                                              {TPiece::LeftArrow, z.Arrow, 3},
                                              {TPiece::RightArrow, z.Arrow, 3},
                                              {TPiece::FirstArrow, z.Arrow, 3},
                                              {TPiece::LastArrow, z.Arrow, 3},
                                              {TPiece::Dropdown, z.Dropdown, 3}},
                                             h));
    WriteImage(folder + "/menubutton.bmp", Strip({{TPiece::MenuButton, z.Menu, 3}}, h));
    WriteImage(folder + "/error.bmp", Strip({{TPiece::Error, z.Error, 3}}, h));
    QImage button(3 * z.Button, h, QImage::Format_RGB32);
    QPainter p(&button);
    const int middle = z.Button - z.BorderLeft - z.BorderRight;
    for (int s = 0; s < 3; ++s) {
        const int x = s * z.Button;
        p.fillRect(x, 0, z.BorderLeft, h, QColor(PieceColor(TPiece::ButtonLeft, s)));
        p.fillRect(x + z.BorderLeft, 0, middle, h, QColor(PieceColor(TPiece::ButtonMiddle, s)));
        p.fillRect(x + z.Button - z.BorderRight, 0, z.BorderRight, h,
                   QColor(PieceColor(TPiece::ButtonRight, s)));
    }
    p.end();
    WriteImage(folder + "/button.bmp", button);

    const auto n = [](int v) { return std::to_string(v); };
    TTempDir::WriteFile(
        folder + "/skin.ini",
        "[Arrows]\nMoveBar.Width=" + n(z.MoveBar) + "\nSizeBar.Width=" + n(z.SizeBar) +
            "\nLeftArrow.Width=" + n(z.Arrow) + "\nRightArrow.Width=" + n(z.Arrow) +
            "\nFirstArrow.Width=" + n(z.Arrow) + "\nLastArrow.Width=" + n(z.Arrow) +
            "\nDropdown.Width=" + n(z.Dropdown) + "\n[MenuButton]\nWidth=" + n(z.Menu) +
            "\n[Error]\nWidth=" + n(z.Error) + "\n[Button]\nWidth=" + n(z.Button) +
            "\nBorder.Left=" + n(z.BorderLeft) + "\nBorder.Right=" + n(z.BorderRight) +
            "\nBorder.Top=" + n(z.BorderTop) + "\nBorder.Bottom=" + n(z.BorderBottom) +
            "\nFont.Name=DejaVu Sans\nFont.Size=9\nFont.Color=0 0 255\n" + extraIni);
}
