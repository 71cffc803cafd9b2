// The active skin: bitmaps, element widths, menu colours and fonts, and the installed skin names.
#pragma once

#include "model/SkinColor.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

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

    // False until a skin has been loaded: every loaded skin has a background.
    bool Loaded() const { return !Background.isNull(); }

    // Loads the skin folder of name (see SkinFolder) in place of this skin, whole or not at
    // all. Returns why it failed, with this skin as it was: "The specified skin does not
    // exist!" without a skin.ini, else the bitmap or value that could not be read. Empty on
    // success.
    [[nodiscard]] std::string LoadSkin(const std::string& name);

  private:
    // Throws ESkinError for a bitmap that cannot be read or a value that is not a number.
    void Read(const std::string& folder);
};

// The program's skin, the one the bar and its menus are drawn with.
TSkinData& Skin();

extern std::vector<std::string> SkinNames;

// Fills SkinNames from every skin folder, each name once.
void InitSkins();

// The skin to load for the skin option: the option itself when a name in
// SkinNames matches it exactly (case counts), else the first name; empty when
// there are no skins.
std::string ChooseSkinName(const std::string& option);

// A colour value (red + 256 * green + 65536 * blue) as a QColor.
QColor SkinQColor(int color);
