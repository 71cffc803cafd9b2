// One PaintBar with 10, 1,000 and 10,000 entries, beside a plain fill and drawText of its buttons.
#include "core/Global.h"
#include "skin/BarPainter.h"
#include "skin/Skin.h"

#include <QGuiApplication>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int BarWidth = 1280;

using TClock = std::chrono::steady_clock;

// Mean microseconds per call of run, over enough calls to fill about a quarter second.
template <typename TRun> double MeanMicros(TRun run) {
    run(); // warm caches and glyphs
    int calls = 0;
    const auto start = TClock::now();
    auto now = start;
    do {
        run();
        ++calls;
        now = TClock::now();
    } while (now - start < std::chrono::milliseconds(250));
    return std::chrono::duration<double, std::micro>(now - start).count() / calls;
}

QString CaptionOf(int k) {
    return QStringLiteral("Weekly report %1 with the figures you asked for (work)").arg(k);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    AppPath = QB_SKINS_PARENT;
    InitSkins();
    if (!Skin().LoadSkin("Default").empty()) {
        std::fprintf(stderr, "paintbar_bench: the Default skin did not load\n");
        return 1;
    }

    std::printf("PaintBar on a %d x %d bar, Default skin, 1 entry in 5 unread, pointer on a "
                "button,\nFirstVisible in the middle of the store; peer: one QPainter fill and "
                "drawText per shown button\n\n",
                BarWidth, Skin().Height);
    std::printf("%8s %8s %12s %14s %10s %8s\n", "entries", "shown", "layout us", "PaintBar us",
                "peer us", "ratio");

    for (const int count : {10, 1000, 10000}) {
        std::vector<char> read(static_cast<size_t>(count));
        for (int k = 0; k < count; ++k)
            read[size_t(k)] = k % 5 != 0;

        TBarPainter painter;
        TBarState state;
        state.ClientWidth = BarWidth;
        state.ButtonWidth = 100;
        state.EntryCount = count;
        state.FirstVisible = count / 2;
        state.MouseX = BarWidth / 2;
        state.MouseY = 10;
        state.IsRead = [&](int k) { return read[size_t(k)] != 0; };
        const auto entry = [](int k) { return TBarEntry{CaptionOf(k), k % 7 == 0 ? 1 : 0}; };

        const TBarMetrics metrics = BarMetrics(Skin());
        const double layoutOnly = MeanMicros([&] { (void)LayoutBar(metrics, state); });
        TBarLayout layout;
        const double paintBar =
            MeanMicros([&] { layout = painter.PaintBar(Skin(), state, entry); });

        // The peer draws the same buttons with nothing but fills and text.
        QImage peerImage(BarWidth, Skin().Height, QImage::Format_RGB32);
        const QFont font = Skin().Button.Font.Font;
        const double peer = MeanMicros([&] {
            QPainter p(&peerImage);
            p.fillRect(peerImage.rect(), QColor(0xE8, 0xEC, 0xF2));
            p.setFont(font);
            p.setPen(Qt::black);
            for (const TBarButton& button : layout.Buttons) {
                const QRect box(button.Left, 0, layout.ButtonWidth, Skin().Height);
                p.fillRect(box.adjusted(1, 2, -1, -2), Qt::white);
                p.drawText(box.adjusted(4, 3, -4, -3), Qt::AlignLeft | Qt::AlignVCenter,
                           CaptionOf(button.Entry));
            }
        });
        std::printf("%8d %8zu %12.1f %14.1f %10.1f %8.2f\n", count, layout.Buttons.size(),
                    layoutOnly, paintBar, peer, paintBar / peer);
    }
    return 0;
}
