// Draws a skin's bar in its typical states into a PNG for review, or shows a live bar in a window.
#include "core/Global.h"
#include "skin/BarPainter.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

#include <cstdio>
#include <vector>

namespace {

struct TSample {
    QString Subject;
    bool Read;
    int Priority;
    int Color;
};

const std::vector<TSample> Samples = {
    {"Quarterly figures for the board meeting (work)", false, 1, NoAccountColor},
    {"Re: lunch on Friday? (home)", false, 0, 0x3C9A3C},
    {"Your parcel is on its way (home)", true, 0, NoAccountColor},
    {"Build 482 passed (work)", false, 5, NoAccountColor},
    {"Minutes of Tuesday's planning call, with the action items we agreed (work)", false, 0,
     NoAccountColor},
    {"Invitation: design review (work)", false, 2, NoAccountColor},
    {"Newsletter - December (home)", false, 0, NoAccountColor},
    {"Photos from the trip (home)", false, 0, 0xB03060},
};

struct TScene {
    const char* Label;
    int MouseX, MouseY;
    bool MouseDown, ListShown, HasErrors;
    int FirstVisible;
    bool AllRead;
};

void FillState(TBarState& state, int width, bool allRead) {
    state.ClientWidth = width;
    state.ButtonWidth = 100;
    state.EntryCount = int(Samples.size());
    state.IsRead = [allRead](int k) { return allRead || Samples[size_t(k)].Read; };
}

TBarEntry SampleEntry(int k) {
    const TSample& s = Samples[size_t(k)];
    return TBarEntry{s.Subject, s.Priority, s.Color};
}

// A live bar: hot and pressed states follow the pointer, clicks on the arrows scroll.
class TPreviewBar : public QWidget {
  public:
    TPreviewBar() {
        setMouseTracking(true);
        setWindowTitle(QStringLiteral("Quillbar skin preview"));
        resize(720, Skin().Height);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        FillState(FState, width(), false);
        const TBarLayout layout = FPainter.PaintBar(Skin(), FState, SampleEntry);
        FHotItem = layout.HotItem;
        FState.FirstVisible = layout.FirstVisible;
        QPainter(this).drawImage(0, 0, FPainter.BarImage);
    }
    void mouseMoveEvent(QMouseEvent* event) override { Track(event, FState.MouseDown); }
    void mousePressEvent(QMouseEvent* event) override { Track(event, true); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (FHotItem == HotRightArrow)
            ++FState.FirstVisible;
        else if (FHotItem == HotLastArrow)
            FState.FirstVisible = int(Samples.size()) - 1;
        else if (FHotItem == HotFirstArrow || FHotItem == HotLeftArrow)
            FState.FirstVisible = 0;
        Track(event, false);
    }
    void leaveEvent(QEvent*) override {
        FState.MouseX = FState.MouseY = -1;
        repaint();
    }

  private:
    void Track(QMouseEvent* event, bool down) {
        FState.MouseX = event->position().toPoint().x();
        FState.MouseY = event->position().toPoint().y();
        FState.MouseDown = down;
        repaint();
    }

    TBarPainter FPainter;
    TBarState FState;
    int FHotItem = HotNone;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: barpreview <program folder> <skin> <out.png | --window>\n");
        return 2;
    }
    AppPath = argv[1];
    InitSkins();
    const std::string failure = Skin().LoadSkin(argv[2]);
    if (!failure.empty()) {
        std::fprintf(stderr, "barpreview: %s\n", failure.c_str());
        return 1;
    }
    if (QByteArray(argv[3]) == "--window") {
        TPreviewBar bar;
        bar.show();
        return QApplication::exec();
    }

    const int width = 720;
    const int h = Skin().Height;
    const TBarMetrics m = BarMetrics(Skin());
    const int firstButton =
        m.MoveBarWidth + m.MenuButtonWidth + m.DropdownWidth + m.FirstArrowWidth + m.LeftArrowWidth;
    const int rightArrow =
        width - m.SizeBarWidth - m.DropdownWidth - m.LastArrowWidth - m.RightArrowWidth;
    const TScene scenes[] = {
        {"idle", -1, -1, false, false, false, 0, false},
        {"hot message", firstButton + 150, 10, false, false, false, 0, false},
        {"pressed message, list shown", firstButton + 20, 10, true, true, false, 0, false},
        {"errors, hot menu button", m.MoveBarWidth + 10, 10, false, false, true, 0, false},
        {"scrolled, hot right arrow", rightArrow + 6, 10, false, false, true, 1, false},
        {"pressed left arrow", firstButton - 6, 10, true, false, false, 1, false},
        {"nothing unread, hot dropdown", width - m.SizeBarWidth - 6, 10, false, false, false, 0,
         true},
    };

    const int gap = 6;
    QImage sheet(width + 2 * gap, int(std::size(scenes)) * (h + gap) + gap, QImage::Format_RGB32);
    sheet.fill(QColor(0x80, 0x80, 0x80));
    QPainter out(&sheet);
    TBarPainter painter;
    int y = gap;
    for (const TScene& scene : scenes) {
        TBarState state;
        FillState(state, width, scene.AllRead);
        state.MouseX = scene.MouseX;
        state.MouseY = scene.MouseY;
        state.MouseDown = scene.MouseDown;
        state.ListShown = scene.ListShown;
        state.HasErrors = scene.HasErrors;
        state.FirstVisible = scene.FirstVisible;
        painter.PaintBar(Skin(), state, SampleEntry);
        out.drawImage(gap, y, painter.BarImage);
        y += h + gap;
    }
    out.end();
    return sheet.save(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
}
