// Dialog test base: the real program with the shipped skins and one taller skin, and the
// options dialog opened from the bar as the user opens it.
#pragma once

#include "GuiTest.h"

#include "core/Global.h"
#include "core/Settings.h"
#include "dialogs/FAccount.h"
#include "dialogs/FOptions.h"
#include "platform/MessageBox.h"
#include "skin/Skin.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <filesystem>
#include <fstream>

class TDialogTest : public TGuiTest {
  protected:
    static constexpr int TallHeight = 32;

    void SetUp() override {
        TGuiTest::SetUp();
        namespace fs = std::filesystem;
        const std::string skins = AppPath + "/Skins/";
        fs::create_directories(skins);
        for (const char* name : {"Default", "Graphite"})
            fs::copy(std::string(QB_SKINS_DIR "/") + name, skins + name,
                     fs::copy_options::recursive);
        // The same skin with a taller background, so that a change of skin shows.
        fs::copy(skins + "Default", skins + "Tall", fs::copy_options::recursive);
        const QString background = QString::fromStdString(skins + "Tall/background.bmp");
        QImage(background).scaled(16, TallHeight).save(background, "BMP");
        InitSkins();
        ASSERT_EQ(Skin().LoadSkin("Default"), "");
        ClearRecordedMessageBoxes();
    }
    void TearDown() override {
        TGuiTest::TearDown();
        Skin() = TSkinData();
    }
    // Opens the options dialog through the bar's menu item.
    TfrmOptions* OpenOptions() {
        Child<QAction>(*Main, "mnuMainOptions")->trigger();
        return OpenChild<TfrmOptions>(*Main);
    }
    // Every control inside the dialog and given at least the room it asks for. With
    // QB_SHOT_DIR set, the dialog is also saved as a picture to look at.
    static void ExpectWhole(QWidget* dialog, const QString& name) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        // Two controls on view with one access key: the key only moves between them.
        QList<QKeySequence> keys;
        for (QWidget* control : dialog->findChildren<QWidget*>()) {
            const auto* button = qobject_cast<QAbstractButton*>(control);
            const QKeySequence key = button && control->isVisibleTo(dialog)
                                         ? QKeySequence::mnemonic(button->text())
                                         : QKeySequence();
            EXPECT_TRUE(key.isEmpty() || !keys.contains(key))
                << name.toStdString() << ": " << button->text().toStdString();
            keys << key;
            // The editors inside spin boxes are laid out by their box.
            if (!control->isVisibleTo(dialog) ||
                qobject_cast<QAbstractSpinBox*>(control->parent()) ||
                !(qobject_cast<QLabel*>(control) || qobject_cast<QAbstractButton*>(control) ||
                  qobject_cast<QLineEdit*>(control) || qobject_cast<QComboBox*>(control) ||
                  qobject_cast<QAbstractSpinBox*>(control)))
                continue;
            const QRect place(control->mapTo(dialog, QPoint(0, 0)), control->size());
            const QString what = name + " " + control->objectName() + " " +
                                 control->property("text").toString() + " " +
                                 QString("%1,%2 %3x%4")
                                     .arg(place.x())
                                     .arg(place.y())
                                     .arg(place.width())
                                     .arg(place.height());
            EXPECT_TRUE(dialog->rect().contains(place)) << what.toStdString();
            if (control->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored)
                continue;
            EXPECT_GE(control->width(), control->minimumSizeHint().width()) << what.toStdString();
            EXPECT_GE(control->height(), control->minimumSizeHint().height()) << what.toStdString();
        }
        if (const char* folder = getenv("QB_SHOT_DIR"))
            dialog->grab().save(QString(folder) + "/" + name + ".png");
    }
    static std::string SettingsText() {
        std::ifstream in(SettingsFileName());
        return {std::istreambuf_iterator<char>(in), {}};
    }
};
