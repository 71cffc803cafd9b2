// The options dialog's picture of a skin: its menu button and two message buttons.
#pragma once

#include <QImage>

#include <string>

// Draws the preview of the skin in folder (ending in "/") width pixels wide. A skin
// whose bitmaps cannot be read gives a null image; one whose button leaves no middle
// piece is drawn without the tiles.
QImage DrawSkinPreview(const std::string& folder, int width);
