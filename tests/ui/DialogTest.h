// Dialog test base: the real program with the shipped skins and one taller skin, and the
// options dialog opened from the bar as the user opens it.
#pragma once

#include "GuiTest.h"

#include "bar/BarMenus.h"

#include "core/Settings.h"
#include "core/UGlobal.h"
#include "dialogs/FAccount.h"
#include "dialogs/FOptions.h"
#include "platform/MessageBox.h"
#include "skin/USkin.h"

#include <QImage>
#include <QPushButton>

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
        Skin->LoadSkin("Default");
        ClearRecordedMessageBoxes();
    }
    void TearDown() override {
        TGuiTest::TearDown();
        delete Skin;
        Skin = nullptr;
    }
    // Opens the options dialog through the bar's menu item.
    TfrmOptions* OpenOptions() {
        Main->Menus->mnuMainOptions->trigger();
        return qobject_cast<TfrmOptions*>(Main->OptionsDialog.data());
    }
    static std::string SettingsText() {
        std::ifstream in(SettingsFileName());
        return {std::istreambuf_iterator<char>(in), {}};
    }
};
