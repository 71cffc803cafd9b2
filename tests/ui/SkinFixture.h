// Test skins: every piece and state a solid colour of its own, in a temporary program folder.
#pragma once

#include <QImage>
#include <QRgb>

#include <map>
#include <string>

// Every piece of the test skin, each state in its own solid colour.
enum class TPiece {
    MoveBar,
    SizeBar,
    LeftArrow,
    RightArrow,
    FirstArrow,
    LastArrow,
    Dropdown,
    MenuButton,
    Error,
    ButtonLeft,
    ButtonMiddle,
    ButtonRight,
    Background,
};

QRgb PieceColor(TPiece piece, int state = 0);

// Widths of a typical bar: move grip 8, menu 30, dropdown 14, arrows 12,
// size grip 8; message button 24 wide with borders 3 and 4; error 20; height 24.
struct TTestSkinSize {
    int Height = 24, Background = 10;
    int MoveBar = 8, SizeBar = 8, Arrow = 12, Dropdown = 14, Menu = 30, Error = 20;
    int Button = 24, BorderLeft = 3, BorderRight = 4, BorderTop = 4, BorderBottom = 4;
};

// Writes folder/skin.ini and the five bitmaps; extraIni is appended to skin.ini.
void WriteTestSkin(const std::string& folder, const TTestSkinSize& size = {},
                   const std::string& extraIni = {});

void WriteImage(const std::string& path, const QImage& image);
