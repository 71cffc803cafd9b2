// GUI test base: the application on the offscreen platform and the real windows over
// the store of the store test base.
#pragma once

#include "Child.h"
#include "StoreTest.h"
#include "bar/FMain.h"
#include "windows/FMsgList.h"
#include "windows/FRead.h"
#include "windows/FTasks.h"

#include <memory>
#include <string>
#include <vector>

class TGuiTest : public TStoreTest {
  protected:
    // Creates the application before the store test base would create a core one.
    static void SetUpTestSuite();
    // Sounds go to PlayedSounds instead of the audio device.
    void SetUp() override;
    void TearDown() override;

    // Creates the store and the windows observing it, then starts the store (which
    // queues the first check).
    void StartProgram() override;
    // Shuts the store down (stopping the worker), then destroys the windows and the store.
    void StopProgram() override;

    // The message list as its view shows it, through the model: the text of a cell, whether
    // a row's message is read, and the row of the entry at index (-1 none).
    QString Cell(int row, int column) const;
    bool RowRead(int row) const;
    int RowOfEntry(int entry) const;

    std::unique_ptr<TfrmTasks> TasksWindow;
    std::unique_ptr<TfrmRead> Read;
    std::unique_ptr<TfrmMsgList> List;
    std::unique_ptr<TfrmMain> Main;
    // The files the program asked to play, in order.
    std::vector<std::string> PlayedSounds;
};
