// Window placement kept in a section of the settings file (position, size, maximised).
#pragma once

#include <string>

class QWidget;

// Reads the keys "FormVersion", "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos" and
// "NormPos" of section and applies them; a placement without "FormVersion" >= 0 or
// with an unreadable "NormPos" leaves the window as it is. Returns whether it applied.
bool LoadPlacement(QWidget* window, const std::string& section);
// Writes the window's current placement under the same keys.
void SavePlacement(const QWidget* window, const std::string& section);
