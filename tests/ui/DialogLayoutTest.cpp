// Every dialog stays whole: each control inside its dialog and given at least the room
// it asks for, at any font and scale the test runs with, and no two on view with one access
// key. With QB_SHOT_DIR set, each dialog is also saved as a picture to look at.
#include "DialogTest.h"

#include "dialogs/FAbout.h"

#include <QTabWidget>

class DialogLayout : public TDialogTest {};

TEST_F(DialogLayout, EveryTabAndDialogShowsItsControlsWhole) {
    AddLoopbackAccount("Home", 1, false);
    StartProgram();
    TfrmOptions* options = OpenOptions();
    auto* pcOptions = Child<QTabWidget>(*options, "pcOptions");
    for (int tab = 0; tab < pcOptions->count(); ++tab) {
        pcOptions->setCurrentIndex(tab);
        ExpectWhole(options, "options-" + pcOptions->tabText(tab));
    }
    Child<QPushButton>(*options, "cmdAccAdd")->click();
    ExpectWhole(options->AccountDialog(), "account");
    Child<QComboBox>(*options->AccountDialog(), "cmbAuth")->setCurrentText("OAuth2");
    ExpectWhole(options->AccountDialog(), "account-oauth2");
    options->AccountDialog()->reject();
    options->reject();
    Main->OpenAbout();
    auto* about = OpenChild<TfrmAbout>(*Main);
    ASSERT_TRUE(about);
    emit Child<QLabel>(*about, "lblEasterEgg")->linkActivated("#cow");
    ExpectWhole(about, "about");
}
