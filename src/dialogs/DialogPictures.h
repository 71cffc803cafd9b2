// The dialogs' own pictures, drawn at run time: nothing is loaded from files.
#pragma once

#include <QImage>

// An envelope over a small bar, for the account dialog's dark side panel.
QImage AccountPicture(int width);
// The about box's banner: a gradient with the program's name.
QImage AboutBanner(int width, int height);
// A 32 x 32 cow.
QImage CowPicture();
// The corner of a window with a title bar, for the skin preview (172 x 30).
QImage WindowCorner();
