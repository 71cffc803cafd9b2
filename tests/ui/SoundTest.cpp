// The new-mail sound: silent without a file, and harmless without an audio device.
#include "GuiTest.h"

#include "platform/USound.h"

#include <QApplication>

class Sound : public TGuiTest {};

TEST_F(Sound, MissingFilePlaysNothingAndAWaveStartsWithoutADevice) {
    const int before = SoundsStarted();
    PlaySoundFile("");
    PlaySoundFile(Dir->File("missing.wav"));
    PlaySoundFile(Dir->Path()); // a folder
    EXPECT_EQ(SoundsStarted(), before);
    // Not a wave file: started, and failing quietly.
    TTempDir::WriteFile(Dir->File("noise.wav"), "not a wave file");
    PlaySoundFile(Dir->File("noise.wav"));
    PlaySoundFile(Dir->File("noise.wav"));
    QApplication::processEvents();
    EXPECT_EQ(SoundsStarted(), before + 2);
}
