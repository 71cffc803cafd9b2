// The about box: version, the cow and its moo, the shake, and closing by keyboard.
#include "DialogTest.h"

#include "dialogs/FAbout.h"
#include "dialogs/Moo.h"
#include "platform/Sound.h"

#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

class AboutBox : public TDialogTest {
  protected:
    TfrmAbout* Open() {
        StartProgram();
        Main->Menus->mnuMainAbout->trigger();
        return qobject_cast<TfrmAbout*>(Main->AboutDialog.data());
    }
};

TEST_F(AboutBox, ShowsTheBuildsVersionAndClosesWithEnterOrEscape) {
    TfrmAbout* about = Open();
    ASSERT_TRUE(about);
    EXPECT_TRUE(QRegularExpression("^Version 1\\.0\\.0 build \\d+$")
                    .match(about->lblVersion->text())
                    .hasMatch())
        << about->lblVersion->text().toStdString();
    QTest::keyClick(about, Qt::Key_Escape);
    EXPECT_FALSE(about->isVisible());
    about = qobject_cast<TfrmAbout*>((Main->OpenAbout(), Main->AboutDialog.data()));
    ASSERT_TRUE(about);
    QTest::keyClick(about, Qt::Key_Return);
    EXPECT_FALSE(about->isVisible());
}

TEST_F(AboutBox, CopyrightSignShowsTheCowWithAMooAndTheCowShakesBackToItsPlace) {
    TfrmAbout* about = Open();
    ASSERT_FALSE(about->imgCow->isVisible());
    emit about->lblEasterEgg->linkActivated("#cow");
    EXPECT_TRUE(about->imgCow->isVisible());
    EXPECT_EQ(PlayedSounds.size(), 1u);
    const std::string moo = MooWave();
    EXPECT_EQ(moo.substr(0, 4), "RIFF");
    EXPECT_GT(moo.size(), 20000u);
    const QPoint home = about->imgCow->pos();
    // A second click while it shakes starts a shake of its own; both end at home.
    int nested = 0;
    QTimer::singleShot(0, about, [&] {
        nested = about->Shaking();
        about->imgCowClick();
    });
    about->imgCowClick();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(about->Shaking(), 0);
    EXPECT_EQ(about->imgCow->pos(), home);
}
