// Window placement kept in a section of the settings file (position, size, maximised).
#pragma once

#include <QRect>

#include <string>

class QWidget;

// Reads the keys "FormVersion", "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos" and
// "NormPos" of section and applies them; a placement without "FormVersion" >= 0 or
// with an unreadable "NormPos" leaves the window as it is. Returns whether it applied.
bool LoadPlacement(QWidget* window, const std::string& section);
// Writes the window's current placement under the same keys.
void SavePlacement(const QWidget* window, const std::string& section);

// rect moved, and shrunk where it is larger, so that it lies within area.
QRect FitIntoArea(const QRect& rect, const QRect& area);
// The docked bar's rectangle, kept clear by every window where the window manager does
// not already leave it out of the available area; empty while the bar floats or hides.
void SetDockedBarRect(const QRect& rect);
class QScreen;
// The part of screen's available area a window may take.
QRect AvailableArea(const QScreen* screen);
// Brings a window whose frame lies partly off its screen (or off every screen: onto the
// primary one) back into that screen's available area.
void KeepOnScreen(QWidget* window);
// A window left partly off the top or left of the screen comes back to 0 there.
void PullIntoScreenOrigin(QWidget* window);
// Centres a window on the available area of the primary screen.
void CentreOnScreen(QWidget* window);
