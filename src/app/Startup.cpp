// The start-up sequence, the message loop and the shut-down order.
#include "app/Startup.h"

#include "app/LeftoverFiles.h"
#include "app/MemoryKeeper.h"
#include "app/SleepAndNetwork.h"
#include "app/StallProbe.h"
#include "bar/FMain.h"
#include "core/Folders.h"
#include "core/Settings.h"
#include "platform/DesktopNotification.h"
#include "platform/HintPause.h"
#include "platform/KeyringVault.h"
#include "platform/MessageBox.h"
#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"
#include "skin/Skin.h"
#include "store/MessageStore.h"
#include "windows/FMsgList.h"
#include "windows/FRead.h"
#include "windows/FTasks.h"
#include "windows/ToolBarStyle.h"

#include <QApplication>
#include <QPointer>
#include <QSessionManager>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

// A copy that starts while the running one is between taking the lock and listening
// waits this long for it to answer.
constexpr int RunningCopyPatienceMs = 3000;

// Loads the chosen skin, or when it cannot be loaded the first other installed skin that
// can. The option keeps the user's choice: the other skin is for this run only. Only the
// chosen skin's failure is shown. False when no skin loads (or the program is asked to
// end meanwhile): a bar without its bitmaps could not be used at all.
bool LoadStartSkin(const bool& quitting) {
    const std::string chosen = Settings().Options().Skin;
    std::vector<std::string> names{chosen};
    for (const std::string& name : SkinNames)
        if (name != chosen)
            names.push_back(name);
    for (size_t i = 0; i < names.size() && !quitting; ++i) {
        const std::string failure = Skin().LoadSkin(names[i]);
        if (failure.empty())
            return true;
        if (i == 0)
            ShowMessageBox(nullptr, QString::fromLocal8Bit(failure), "Error",
                           QMessageBox::Critical);
    }
    return false;
}

// Installs the program's keyring for as long as it lives.
struct TVaultInstalled {
    explicit TVaultInstalled(TPasswordVault& vault) { SetPasswordVault(&vault); }
    ~TVaultInstalled() { SetPasswordVault(nullptr); }
    TVaultInstalled(const TVaultInstalled&) = delete;
    TVaultInstalled& operator=(const TVaultInstalled&) = delete;
};

// Says why the program cannot start, also where no one may see the box.
void ShowStartFailure(const QString& text) {
    std::fprintf(stderr, "Quillbar: %s\n", text.toLocal8Bit().constData());
    ShowMessageBox(nullptr, text, "Error", QMessageBox::Critical);
}

// The last save: no window is left to show a failure in, so it goes to the log.
void SaveAtExit() {
    if (!Settings().Save())
        qWarning("Quillbar: %s", SaveFailureText(Settings().SaveError(), true).c_str());
}

} // namespace

int RunQuillbar(const TCommandLine& options) {
    const auto started = std::filesystem::file_time_type::clock::now();
    // First of all, so that a termination signal during start-up waits for the loop
    // and then ends the program the normal way.
    TQuitSignals quitSignals;
    bool quitting = false;
    QPointer<TfrmMain> bar;
    QObject::connect(&quitSignals, &TQuitSignals::QuitRequested, qApp, [&quitting, &bar] {
        quitting = true;
        // A box waits for the user; the signal must not wait for the user too.
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
        if (bar)
            bar->close();
    });

    // Asked before anything of this run can write the file.
    const bool firstStart = SettingsFileIsNew();
    Settings().Load();
    InitSkins();
    // Before the store and its worker, which ask it, and gone only after them.
    TKeyringVault keyring;
    const TVaultInstalled installed(keyring);

    TSingleInstance instance;
    if (!instance.Acquire()) {
        // The running copy owns the settings file: this one neither shows nor writes anything.
        // Only a copy that answers is running; without one the lock itself failed.
        if (TSingleInstance::NotifyRunning(instance.HeldElsewhere() ? RunningCopyPatienceMs : 0))
            return 0;
        ShowStartFailure("Quillbar cannot start: " + instance.FailureText());
        return 1;
    }
    instance.Listen();
    MakeSettingsFolder();
    RemoveLeftoverSaves(SettingsFileName(), started);
    // Written at once: a file that a window's place created alone would read as an old one.
    if (firstStart)
        Settings().UpdateOptions([](TOptions& chosen) {
            chosen = NewFileOptions(TDesktopNotification::ServiceRunning());
        });

    bool loaded = false;
    if (!SkinNames.empty()) {
        Settings().UpdateOptions(
            [](TOptions& chosen) { chosen.Skin = ChooseSkinName(chosen.Skin); });
        loaded = LoadStartSkin(quitting);
    }
    // Ended while a box waited: no further box may hold the program.
    if (quitting) {
        SaveAtExit();
        return 0;
    }
    if (!loaded) {
        ShowMessageBox(nullptr, "No skins were found, please re-install Quillbar!", "Error",
                       QMessageBox::Critical);
        SaveAtExit();
        return 1;
    }

    MakeCacheFolder();

    QApplication::setApplicationName("Quillbar");
    QApplication::setStyle(new TToolBarStyle);
    THintPause hintPause;
    qApp->installEventFilter(&hintPause);
    // The bar is a tool window; closing the read or list window must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // The windows observe the store, so they exist before its first jobs are queued.
    TMessageStore store(TStoreConfig{options.Pipelining});
    auto tasks = std::make_unique<TfrmTasks>(store);
    // Made when a message is first opened: its tool bar loads every image format plugin,
    // which would cost each start time and memory. It hears that first Opening itself.
    std::unique_ptr<TfrmRead> read;
    QObject::connect(&store.Reader(), &TReadSession::Opening, qApp,
                     [&read, &store](TEntryId id, int position, bool first, bool last) {
                         if (read)
                             return;
                         read = std::make_unique<TfrmRead>(store);
                         read->Opening(id, position, first, last);
                     });
    auto list = std::make_unique<TfrmMsgList>(store);
    auto frmMain = std::make_unique<TfrmMain>(store);
    bar = frmMain.get();
    frmMain->SetMessageList(list.get());
    frmMain->RegisterHotKey();
    const TSleepAndNetwork sleepAndNetwork(store);
    store.Start();
    const TMemoryKeeper memoryKeeper(store);
    // The exit stops the worker while every window still stands and the loop can serve
    // the worker's last events. A check waiting for the keyring is let go first: the exit
    // must not wait for a keyring that does not answer.
    const auto endWork = [&keyring, &store] {
        keyring.Close();
        store.Shutdown();
    };
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &store, endWork);

    QObject::connect(&instance, &TSingleInstance::NewInstance, frmMain.get(), [&frmMain] {
        qInfo("Quillbar: another copy was started");
        frmMain->NewInstance();
    });
    // The session may end the process soon after asking for its data.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp,
                     [](QSessionManager&) { Settings().Save(); });

    frmMain->show();
    std::unique_ptr<TStallProbe> stallProbe;
    if (!options.StallLog.isEmpty())
        stallProbe = std::make_unique<TStallProbe>(options.StallLog, store);
    const int code = QApplication::exec();
    endWork();

    // The bar goes last and stores its position; only then are the settings saved.
    list.reset();
    read.reset();
    tasks.reset();
    frmMain.reset();
    qApp->removeEventFilter(&hintPause);
    SaveAtExit();
    return code;
}
