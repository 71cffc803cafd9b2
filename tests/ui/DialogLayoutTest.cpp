// Every dialog stays whole: each control inside its dialog and given at least the room
// it asks for, at any font and scale the test runs with. With QB_SHOT_DIR set, each
// dialog is also saved as a picture to look at.
#include "DialogTest.h"

#include "dialogs/FAbout.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

namespace {

void ExpectWhole(QWidget* dialog, const QString& name) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    for (QWidget* control : dialog->findChildren<QWidget*>()) {
        // The editors inside spin boxes are laid out by their box.
        if (!control->isVisibleTo(dialog) || qobject_cast<QAbstractSpinBox*>(control->parent()) ||
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

} // namespace

class DialogLayout : public TDialogTest {};

TEST_F(DialogLayout, EveryTabAndDialogShowsItsControlsWhole) {
    AddLoopbackAccount("Home", 1, false);
    StartProgram();
    TfrmOptions* options = OpenOptions();
    for (int tab = 0; tab < options->pcOptions->count(); ++tab) {
        options->pcOptions->setCurrentIndex(tab);
        ExpectWhole(options, "options-" + options->pcOptions->tabText(tab));
    }
    options->cmdAccAddClick();
    ExpectWhole(options->AccountDialog(), "account");
    options->AccountDialog()->reject();
    options->reject();
    Main->OpenAbout();
    auto* about = qobject_cast<TfrmAbout*>(Main->AboutDialog.data());
    emit about->lblEasterEgg->linkActivated("#cow");
    ExpectWhole(about, "about");
}
