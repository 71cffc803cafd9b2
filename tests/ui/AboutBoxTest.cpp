// The about box: version, licence and address, the cow and its moo, the shake, and closing by
// keyboard.
#include "DialogTest.h"

#include "dialogs/FAbout.h"
#include "dialogs/Moo.h"
#include "platform/Sound.h"

#include <QAction>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

class AboutBox : public TDialogTest {
  protected:
    TfrmAbout* Open() {
        StartProgram();
        Child<QAction>(*Main, "mnuMainAbout")->trigger();
        return OpenChild<TfrmAbout>(*Main);
    }
};

TEST_F(AboutBox, ShowsTheBuildsVersionLicenceAndAddressAndClosesWithEnterOrEscape) {
    TfrmAbout* about = Open();
    ASSERT_TRUE(about);
    const QString version = Child<QLabel>(*about, "lblVersion")->text();
    EXPECT_TRUE(QRegularExpression("^Version 1\\.0\\.0 build \\d+$").match(version).hasMatch())
        << version.toStdString();
    EXPECT_TRUE(Child<QLabel>(*about, "lblEasterEgg")->text().contains("GPL-3.0-or-later"));
    EXPECT_EQ(Child<QLabel>(*about, "lblSoftware")->text(), "https://quillbar.example.org/");
    QTest::keyClick(about, Qt::Key_Escape);
    EXPECT_FALSE(about->isVisible());
    Main->OpenAbout();
    about = OpenChild<TfrmAbout>(*Main);
    ASSERT_TRUE(about);
    QTest::keyClick(about, Qt::Key_Return);
    EXPECT_FALSE(about->isVisible());
}

TEST_F(AboutBox, CopyrightSignShowsTheCowWithAMooAndTheCowShakesBackToItsPlace) {
    TfrmAbout* about = Open();
    ASSERT_TRUE(about);
    auto* cow = Child<QLabel>(*about, "imgCow");
    ASSERT_FALSE(cow->isVisible());
    emit Child<QLabel>(*about, "lblEasterEgg")->linkActivated("#cow");
    EXPECT_TRUE(cow->isVisible());
    EXPECT_EQ(PlayedSounds.size(), 1u);
    const std::string moo = MooWave();
    EXPECT_EQ(moo.substr(0, 4), "RIFF");
    EXPECT_GT(moo.size(), 20000u);
    const QPoint home = cow->pos();
    // A second click while it shakes starts a shake of its own; both end at home.
    int nested = 0;
    QTimer::singleShot(0, about, [&] {
        nested = about->Shaking();
        QTest::mouseClick(cow, Qt::LeftButton);
    });
    QTest::mouseClick(cow, Qt::LeftButton);
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(about->Shaking(), 0);
    EXPECT_EQ(cow->pos(), home);
}
