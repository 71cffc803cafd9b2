// Benchmark: opening large messages in the read window, fetched from Dovecot and then again
// from the cache file, against Python's email package parsing the same message and decoding
// every part, in the same run. Each case runs in a process of its own, so that its peak
// resident memory is its own; the main loop's longest stall is what a click may wait.
#include "DovecotAccount.h"
#include "DovecotServer.h"
#include "ProcessMemory.h"
#include "TempDir.h"
#include "core/Global.h"
#include "core/Settings.h"
#include "store/MessageStore.h"
#include "windows/FRead.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <malloc.h>
#include <string>

namespace {

const char* const Cases[] = {"attachment-200MB", "attachments-5000", "html-table-1.5MB"};

std::string Header(const std::string& subject, const std::string& type) {
    return "From: Bench <bench@example.org>\r\nTo: you@example.org\r\nSubject: " + subject +
           "\r\nMIME-Version: 1.0\r\nContent-Type: " + type + "\r\n\r\n";
}

std::string Message(const std::string& name) {
    std::string text;
    if (name == "attachment-200MB") {
        text = Header(name, "multipart/mixed; boundary=\"b\"") +
               "--b\r\nContent-Type: text/plain\r\n\r\nThe file is attached.\r\n--b\r\n"
               "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
               "Content-Disposition: attachment; filename=\"big.bin\"\r\n\r\n";
        const std::string line = std::string(76, 'Q') + "\r\n";
        text.reserve(size_t(201) << 20);
        while (text.size() < size_t(200) << 20)
            text += line;
        text += "--b--\r\n";
    } else if (name == "attachments-5000") {
        text = Header(name, "multipart/mixed; boundary=\"b\"") +
               "--b\r\nContent-Type: text/plain\r\n\r\nMany files.\r\n";
        const char* types[] = {"txt", "pdf", "png", "zip", "csv"};
        for (int i = 0; i < 5000; ++i)
            text += "--b\r\nContent-Type: application/octet-stream\r\n"
                    "Content-Disposition: attachment; filename=\"file" +
                    std::to_string(i) + "." + types[i % 5] + "\"\r\n\r\ncontent " +
                    std::to_string(i) + "\r\n";
        text += "--b--\r\n";
    } else {
        text = Header(name, "text/html; charset=utf-8") + "<html><body><table>\r\n";
        for (int row = 0; text.size() < 1500000; ++row)
            text += "<tr><td>" + std::to_string(row) +
                    "</td><td>caf&eacute; &amp; th&eacute;</td><td>https://example.org/" +
                    std::to_string(row) + "</td></tr>\r\n";
        text += "</table></body></html>\r\n";
    }
    return text;
}

// The longest gap between the ticks of a 5 ms timer: how long the loop went unserved.
class TStallMeter : public QObject {
  public:
    TStallMeter() {
        connect(&FTimer, &QTimer::timeout, this,
                [this] { FLongest = std::max(FLongest, FSince.restart()); });
        FSince.start();
        FTimer.start(5);
    }
    qint64 Longest() const { return FLongest; }

  private:
    QTimer FTimer;
    QElapsedTimer FSince;
    qint64 FLongest = 0;
};

bool Wait(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (timer.elapsed() > 600000)
            return false;
    }
    return true;
}

// One case in this process: prints "seconds-fetched seconds-cached peak-MiB stall-ms".
int RunCase(const std::string& name, const std::string& file) {
    TDovecotServer dovecot(1, 0, false);
    {
        std::ifstream in(file, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        dovecot.AddMessage(0, text);
    }
    // The copy read for Dovecot goes back to the system, so that the peak is the opening's.
    malloc_trim(0);
    TTempDir folder;
    AppPath = folder.Path();
    std::filesystem::create_directories(AppPath + "/cache");
    Settings().Load();
    Settings().AddAccount(DovecotAccount(dovecot, 0, "Bench"));

    TMessageStore store;
    TfrmRead read(store);
    const QToolButton* markRead = read.findChild<QToolButton*>("tbMarkRead");
    if (!markRead)
        return 1;
    store.Start();
    if (!Wait([&] { return store.Entries().size() == 1 && store.Tasks().empty(); }))
        return 1;
    const auto open = [&] {
        QElapsedTimer timer;
        timer.start();
        store.Reader().Open(store.Entries()[0].Id);
        Wait([&] {
            return store.Tasks().empty() && !store.Reader().IsPreparing() && markRead->isEnabled();
        });
        // Shown: the window painted once with everything in it.
        QApplication::processEvents();
        return timer.elapsed() / 1000.0;
    };
    TStallMeter stalls;
    // The setting up is not the opening.
    ResetPeak();
    const double fetched = open();
    read.close();
    const double cached = open();
    if (!read.windowTitle().contains(QString::fromStdString(name)))
        std::cerr << "read_open_bench: " << name << " was not shown\n";
    std::printf("%.3f %.3f %.1f %lld\n", fetched, cached, PeakMiB(),
                static_cast<long long>(stalls.Longest()));
    store.Shutdown();
    return 0;
}

struct TFigures {
    double Fetched = 0, Cached = 0, Peak = 0, Stall = 0;
};

bool Run(const std::string& command, TFigures& figures, int count) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    double values[4] = {0, 0, 0, 0};
    int read = 0;
    for (int i = 0; i < count; ++i)
        read += std::fscanf(pipe, "%lf", &values[i]);
    const bool ok = pclose(pipe) == 0 && read == count;
    figures = {values[0], values[1], values[2], values[3]};
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc == 4 && std::string(argv[1]) == "--case") {
        TTempDir config;
        setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
        QApplication app(argc, argv);
        return RunCase(argv[2], argv[3]);
    }
    const std::string why = TDovecotServer::Unavailable();
    if (!why.empty()) {
        std::cerr << "read_open_bench: " << why << "\n";
        return 1;
    }
    TTempDir work;
    std::printf("%-18s %8s | %9s %9s %9s %7s | %9s %9s | %7s %7s\n", "message", "MiB", "fetched s",
                "cached s", "peak MiB", "stall", "python s", "peak MiB", "time", "memory");
    for (const char* name : Cases) {
        const std::string file = work.Path() + "/" + name + ".eml";
        const std::string text = Message(name);
        std::ofstream(file, std::ios::binary) << text;
        const double mib = text.size() / 1048576.0;
        TFigures ours, peer;
        const bool ok =
            Run(std::string("'") + argv[0] + "' --case " + name + " '" + file + "'", ours, 4);
        // The peer: parse and decode every part, as the window's preparation does.
        const bool peerOk = Run(
            "python3 -c 'import email, email.policy, resource, sys, time\n"
            "t = time.time()\n"
            "m = email.message_from_binary_file(open(sys.argv[1], \"rb\"), "
            "policy=email.policy.default)\n"
            "parts = [p.get_payload(decode=True) for p in m.walk() if not p.is_multipart()]\n"
            "print(time.time() - t, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024)' '" +
                file + "'",
            peer, 2);
        if (!ok || !peerOk) {
            std::cerr << "read_open_bench: " << name << " failed\n";
            return 1;
        }
        // The peer's figures came as seconds and peak.
        std::printf("%-18s %8.1f | %9.2f %9.2f %9.0f %5.0fms | %9.2f %9.0f | %7.2f %7.2f\n", name,
                    mib, ours.Fetched, ours.Cached, ours.Peak, ours.Stall, peer.Fetched,
                    peer.Cached, ours.Cached / peer.Fetched, ours.Peak / peer.Cached);
    }
    std::printf("time: cached open / python parse; memory: our peak / python's peak\n");
    return 0;
}
