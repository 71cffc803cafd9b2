// A dialog's changes to the settings, with a box for the user when they could not be saved.
#pragma once

#include <QString>

#include <functional>

class QWidget;

// Runs change, which goes through the settings owner; when a save it made failed, tells
// the user in a box over owner that the change is kept but not on disk.
void ChangeSettings(QWidget* owner, const QString& caption, const std::function<void()>& change);
