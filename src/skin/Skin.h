// The active skin: bitmaps, element widths, menu colours and fonts, and the installed skin names.
#pragma once

#include "model/SkinColor.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

#include <functional>
#include <string>
#include <vector>

struct TSkinFont {
    QFont Font;
    int Color = 0; // red + 256 * green + 65536 * blue
};

class TSkinData {
  public:
    int Height = 0;
    QImage Background;

    struct {
        QImage Bitmap;
        int MoveBarWidth = 0, SizeBarWidth = 0, LeftArrowWidth = 0, RightArrowWidth = 0,
            FirstArrowWidth = 0, LastArrowWidth = 0, DropdownWidth = 0;
    } Arrows;

    struct {
        QImage Bitmap;
        int Width = 0;
    } MenuButton;

    struct {
        QImage Bitmap;
        int Width = 0, BorderLeft = 0, BorderRight = 0, BorderTop = 0, BorderBottom = 0;
        TSkinFont Font;
    } Button;

    struct {
        QImage Bitmap;
        int Width = 0;
    } Error;

    struct {
        int BorderColor = 0, SeparatorColor = 0, NormalColor = 0, NormalBorderColor = 0,
            SelectedColor = 0, SelectedBorderColor = 0;
        TSkinFont NormalFont, SelectedFont, DisabledFont;
    } Menu;

    // Loads the skin folder of name (see SkinFolder) into this object. Without a
    // skin.ini it shows "The specified skin does not exist!" and keeps what it
    // held. A bitmap that cannot be read or a colour that is not a number
    // throws ESkinError; what was read before that point keeps its new value.
    void LoadSkin(const std::string& name);
};

extern TSkinData* Skin;
extern std::vector<std::string> SkinNames;

// Creates Skin and fills SkinNames from every skin folder, each name once.
void InitSkins();

// The skin to load for the skin option: the option itself when a name in
// SkinNames matches it exactly (case counts), else the first name; empty when
// there are no skins.
std::string ChooseSkinName(const std::string& option);

// Shows an error text in a box captioned "Error"; tests replace it.
extern std::function<void(const QString& text)> SkinMessageBox;

// A colour value (red + 256 * green + 65536 * blue) as a QColor.
QColor SkinQColor(int color);
