// The new-mail sound: only an existing file is played, and no audio device is harmless.
#include "GuiTest.h"

#include "platform/Sound.h"

#include <QApplication>
#include <QTest>

#include <string>
#include <vector>

class Sound : public TGuiTest {
  protected:
    void SetUp() override {
        TGuiTest::SetUp();
        FDevice = SetSoundPlayer([this](const std::string& file) { Played.push_back(file); });
    }
    void TearDown() override {
        SetSoundPlayer(FDevice);
        TGuiTest::TearDown();
    }

    std::vector<std::string> Played;

  private:
    TSoundPlayer FDevice;
};

TEST_F(Sound, OnlyAnExistingFileReachesThePlayer) {
    PlaySoundFile("");
    PlaySoundFile(Dir->File("missing.wav"));
    PlaySoundFile(Dir->Path()); // a folder
    EXPECT_TRUE(Played.empty());
    TTempDir::WriteFile(Dir->File("new.wav"), "RIFF");
    PlaySoundFile(Dir->File("new.wav"));
    EXPECT_EQ(Played, std::vector<std::string>{Dir->File("new.wav")});
}

TEST_F(Sound, WithoutAnAudioDeviceAFileThatIsNoWaveFailsQuietly) {
    SetSoundPlayer(nullptr);
    TTempDir::WriteFile(Dir->File("noise.wav"), "not a wave file");
    PlaySoundFile(Dir->File("noise.wav"));
    PlaySoundFile(Dir->File("noise.wav"));
    // The sample is loaded on a thread of Qt's, which hands it back through the event
    // loop: a test that ends first leaves it half released.
    QTest::qWait(500);
    SUCCEED();
}
