// Draws the shipped skins: five bitmaps and a skin.ini per skin, into resources/skins.
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cstdio>
#include <functional>

namespace {

constexpr int BarHeight = 24;
constexpr int MoveBarWidth = 8, SizeBarWidth = 8, ArrowWidth = 14, DropdownWidth = 16;
constexpr int MenuButtonWidth = 28, ErrorWidth = 24, ButtonWidth = 30, ButtonBorder = 4;
constexpr int TileWidth = 16;

struct TFrameLook {
    QColor Top, Bottom, Border;
};

struct TLook {
    const char* Name;
    QColor BackTop, BackBottom, TopLine, BottomLine;
    QColor Glyph, Accent, Warning;
    TFrameLook Normal, Hot, Pressed; // message buttons; fixed elements are flat when normal
    QColor Text;
    QColor MenuBorder, MenuSeparator, MenuNormal, MenuNormalBorder, MenuSelected,
        MenuSelectedBorder, MenuText, MenuSelectedText, MenuDisabledText;
};

const TLook Looks[] = {
    {"Default",
     QColor(0xF8, 0xFA, 0xFC),
     QColor(0xE4, 0xE9, 0xF0),
     QColor(0xFF, 0xFF, 0xFF),
     QColor(0xB9, 0xC3, 0xD0),
     QColor(0x4A, 0x56, 0x68),
     QColor(0x2F, 0x6F, 0xC4),
     QColor(0xE0, 0x8A, 0x10),
     {QColor(0xFF, 0xFF, 0xFF), QColor(0xEE, 0xF2, 0xF7), QColor(0xC2, 0xCC, 0xD9)},
     {QColor(0xEC, 0xF4, 0xFF), QColor(0xD6, 0xE7, 0xFC), QColor(0x78, 0xA5, 0xDE)},
     {QColor(0xC4, 0xD9, 0xF4), QColor(0xD4, 0xE4, 0xF8), QColor(0x4F, 0x81, 0xC4)},
     QColor(0x1F, 0x29, 0x37),
     QColor(0x9A, 0xA8, 0xBA),
     QColor(0xD5, 0xDC, 0xE5),
     QColor(0xFA, 0xFB, 0xFD),
     QColor(0xFA, 0xFB, 0xFD),
     QColor(0xDC, 0xEA, 0xFB),
     QColor(0x78, 0xA5, 0xDE),
     QColor(0x1F, 0x29, 0x37),
     QColor(0x10, 0x23, 0x3F),
     QColor(0x9A, 0xA3, 0xAF)},
    {"Graphite",
     QColor(0x32, 0x36, 0x3E),
     QColor(0x24, 0x27, 0x2D),
     QColor(0x40, 0x45, 0x4E),
     QColor(0x12, 0x14, 0x17),
     QColor(0xAE, 0xB6, 0xC2),
     QColor(0x4C, 0x9B, 0xFF),
     QColor(0xF0, 0xA0, 0x30),
     {QColor(0x3D, 0x42, 0x4B), QColor(0x33, 0x37, 0x3F), QColor(0x4B, 0x51, 0x5C)},
     {QColor(0x45, 0x4E, 0x5C), QColor(0x3B, 0x44, 0x52), QColor(0x4C, 0x9B, 0xFF)},
     {QColor(0x1B, 0x36, 0x5E), QColor(0x22, 0x44, 0x74), QColor(0x4C, 0x9B, 0xFF)},
     QColor(0xE8, 0xEB, 0xF0),
     QColor(0x10, 0x12, 0x15),
     QColor(0x45, 0x4B, 0x55),
     QColor(0x2A, 0x2D, 0x33),
     QColor(0x2A, 0x2D, 0x33),
     QColor(0x3B, 0x4F, 0x6E),
     QColor(0x4C, 0x9B, 0xFF),
     QColor(0xE8, 0xEB, 0xF0),
     QColor(0xFF, 0xFF, 0xFF),
     QColor(0x6B, 0x72, 0x80)},
};

QImage NewImage(int width) {
    QImage image(width, BarHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

// The bar's own background, which every piece repeats behind its drawing.
void FillBackground(QPainter& p, const TLook& look, QRect cell) {
    QLinearGradient gradient(0, 0, 0, BarHeight);
    gradient.setColorAt(0, look.BackTop);
    gradient.setColorAt(1, look.BackBottom);
    p.fillRect(cell, gradient);
    p.fillRect(QRect(cell.left(), 0, cell.width(), 1), look.TopLine);
    p.fillRect(QRect(cell.left(), BarHeight - 1, cell.width(), 1), look.BottomLine);
}

void DrawFrame(QPainter& p, const TFrameLook& frame, QRectF box) {
    QLinearGradient gradient(0, box.top(), 0, box.bottom());
    gradient.setColorAt(0, frame.Top);
    gradient.setColorAt(1, frame.Bottom);
    p.setPen(QPen(frame.Border, 1));
    p.setBrush(gradient);
    p.drawRoundedRect(box, 3, 3);
}

// Three states side by side; draw(p, cell, state) draws one of them.
QImage ThreeStates(const TLook& look, int width,
                   const std::function<void(QPainter&, QRect, int)>& draw) {
    QImage image = NewImage(3 * width);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int state = 0; state < 3; ++state) {
        const QRect cell(state * width, 0, width, BarHeight);
        FillBackground(p, look, cell);
        draw(p, cell, state);
    }
    return image;
}

// Fixed elements: flat when normal, framed when hot or pressed; the glyph sinks by one pixel when
// pressed.
void DrawFlatButton(QPainter& p, const TLook& look, QRect cell, int state,
                    const std::function<void(QPainter&, QPointF)>& glyph) {
    if (state > 0)
        DrawFrame(p, state == 1 ? look.Hot : look.Pressed,
                  QRectF(cell).adjusted(1.5, 2.5, -1.5, -2.5));
    const QPointF centre = QRectF(cell).center() + (state == 2 ? QPointF(1, 1) : QPointF(0, 0));
    glyph(p, centre);
}

void Chevron(QPainter& p, QColor color, QPointF c, int direction, double dx = 0) {
    p.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(c.x() + dx - 1.5 * direction, c.y() - 4);
    path.lineTo(c.x() + dx + 2 * direction, c.y());
    path.lineTo(c.x() + dx - 1.5 * direction, c.y() + 4);
    p.drawPath(path);
}

void Dots(QPainter& p, const TLook& look, double x) {
    p.setPen(Qt::NoPen);
    for (int y = 6; y <= 16; y += 3) {
        p.setBrush(look.TopLine);
        p.drawRect(QRectF(x + 1, y + 1, 1.5, 1.5));
        p.setBrush(look.Glyph);
        p.drawRect(QRectF(x, y, 1.5, 1.5));
    }
}

QImage Arrows(const TLook& look) {
    const int width = MoveBarWidth + SizeBarWidth + 4 * 3 * ArrowWidth + 3 * DropdownWidth;
    QImage image = NewImage(width);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    FillBackground(p, look, QRect(0, 0, MoveBarWidth + SizeBarWidth, BarHeight));
    Dots(p, look, 2);
    Dots(p, look, MoveBarWidth + 4);
    p.end();

    // Left, right, first, last, then the dropdown, three states each.
    const std::function<void(QPainter&, QPointF)> glyphs[] = {
        [&](QPainter& q, QPointF c) { Chevron(q, look.Glyph, c, -1); },
        [&](QPainter& q, QPointF c) { Chevron(q, look.Glyph, c, 1); },
        [&](QPainter& q, QPointF c) {
            Chevron(q, look.Glyph, c, -1, -2);
            Chevron(q, look.Glyph, c, -1, 2.5);
        },
        [&](QPainter& q, QPointF c) {
            Chevron(q, look.Glyph, c, 1, -2.5);
            Chevron(q, look.Glyph, c, 1, 2);
        },
        [&](QPainter& q, QPointF c) {
            q.setPen(Qt::NoPen);
            q.setBrush(look.Glyph);
            q.drawPolygon(QPolygonF({c + QPointF(-4, -2), c + QPointF(4, -2), c + QPointF(0, 3)}));
        },
    };
    int x = MoveBarWidth + SizeBarWidth;
    QPainter q(&image);
    for (int piece = 0; piece < 5; ++piece) {
        const int w = piece < 4 ? ArrowWidth : DropdownWidth;
        const QImage states = ThreeStates(look, w, [&](QPainter& s, QRect cell, int state) {
            DrawFlatButton(s, look, cell, state, glyphs[piece]);
        });
        q.drawImage(x, 0, states);
        x += 3 * w;
    }
    return image;
}

QImage MenuButton(const TLook& look) {
    return ThreeStates(look, MenuButtonWidth, [&](QPainter& p, QRect cell, int state) {
        DrawFlatButton(p, look, cell, state, [&](QPainter& q, QPointF c) {
            // An envelope in the accent colour.
            const QRectF body(c.x() - 7.5, c.y() - 5, 15, 10);
            q.setPen(QPen(look.Accent, 1.3));
            q.setBrush(Qt::NoBrush);
            q.drawRoundedRect(body, 1.5, 1.5);
            QPainterPath flap;
            flap.moveTo(body.left() + 1, body.top() + 1);
            flap.lineTo(c.x(), c.y() + 0.5);
            flap.lineTo(body.right() - 1, body.top() + 1);
            q.drawPath(flap);
        });
    });
}

QImage ErrorButton(const TLook& look) {
    return ThreeStates(look, ErrorWidth, [&](QPainter& p, QRect cell, int state) {
        DrawFlatButton(p, look, cell, state, [&](QPainter& q, QPointF c) {
            q.setPen(QPen(look.Warning.darker(115), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            q.setBrush(look.Warning);
            q.drawPolygon(
                QPolygonF({c + QPointF(0, -7), c + QPointF(7.5, 6), c + QPointF(-7.5, 6)}));
            q.setPen(Qt::NoPen);
            q.setBrush(Qt::white);
            q.drawRect(QRectF(c.x() - 1, c.y() - 3, 2, 5));
            q.drawRect(QRectF(c.x() - 1, c.y() + 3, 2, 1.6));
        });
    });
}

QImage MessageButton(const TLook& look) {
    return ThreeStates(look, ButtonWidth, [&](QPainter& p, QRect cell, int state) {
        const TFrameLook& frame = state == 0 ? look.Normal : state == 1 ? look.Hot : look.Pressed;
        DrawFrame(p, frame, QRectF(cell).adjusted(1.5, 2.5, -1.5, -2.5));
    });
}

QImage Background(const TLook& look) {
    QImage image = NewImage(TileWidth);
    QPainter p(&image);
    FillBackground(p, look, image.rect());
    return image;
}

QString ColorText(QColor c) {
    return QStringLiteral("%1 %2 %3").arg(c.red()).arg(c.green()).arg(c.blue());
}

void WriteFont(QTextStream& out, const QString& prefix, QColor color, int size, bool bold) {
    out << prefix << ".Name=DejaVu Sans\n"
        << prefix << ".Size=" << size << "\n"
        << prefix << ".Color=" << ColorText(color) << "\n"
        << prefix << ".Bold=" << (bold ? 1 : 0) << "\n"
        << prefix << ".Italic=0\n"
        << prefix << ".Underline=0\n";
}

bool WriteIni(const TLook& look, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&file);
    out << "; " << look.Name << " skin, drawn by tools/skingen\n\n"
        << "[Arrows]\n"
        << "MoveBar.Width=" << MoveBarWidth << "\nSizeBar.Width=" << SizeBarWidth
        << "\nLeftArrow.Width=" << ArrowWidth << "\nRightArrow.Width=" << ArrowWidth
        << "\nFirstArrow.Width=" << ArrowWidth << "\nLastArrow.Width=" << ArrowWidth
        << "\nDropdown.Width=" << DropdownWidth << "\n\n"
        << "[MenuButton]\nWidth=" << MenuButtonWidth << "\n\n"
        << "[Button]\nWidth=" << ButtonWidth << "\nBorder.Left=" << ButtonBorder
        << "\nBorder.Right=" << ButtonBorder << "\nBorder.Top=3\nBorder.Bottom=3\n";
    WriteFont(out, "Font", look.Text, 9, false);
    out << "\n[Error]\nWidth=" << ErrorWidth << "\n\n"
        << "[Menu]\n"
        << "Border.Color=" << ColorText(look.MenuBorder) << "\n"
        << "Seperator.Color=" << ColorText(look.MenuSeparator) << "\n"
        << "Normal.Color=" << ColorText(look.MenuNormal) << "\n"
        << "Normal.BorderColor=" << ColorText(look.MenuNormalBorder) << "\n"
        << "Selected.Color=" << ColorText(look.MenuSelected) << "\n"
        << "Selected.BorderColor=" << ColorText(look.MenuSelectedBorder) << "\n";
    WriteFont(out, "Normal.Font", look.MenuText, 9, false);
    WriteFont(out, "Selected.Font", look.MenuSelectedText, 9, false);
    WriteFont(out, "Disabled.Font", look.MenuDisabledText, 9, false);
    return out.status() == QTextStream::Ok;
}

bool WriteSkin(const TLook& look, const QString& root) {
    const QString folder = root + "/" + look.Name;
    if (!QDir().mkpath(folder))
        return false;
    return Background(look).save(folder + "/background.bmp", "BMP") &&
           Arrows(look).save(folder + "/arrows.bmp", "BMP") &&
           MenuButton(look).save(folder + "/menubutton.bmp", "BMP") &&
           MessageButton(look).save(folder + "/button.bmp", "BMP") &&
           ErrorButton(look).save(folder + "/error.bmp", "BMP") &&
           WriteIni(look, folder + "/skin.ini");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skingen <skins folder>\n");
        return 2;
    }
    for (const TLook& look : Looks) {
        if (!WriteSkin(look, QString::fromLocal8Bit(argv[1]))) {
            std::fprintf(stderr, "skingen: cannot write skin %s\n", look.Name);
            return 1;
        }
    }
    return 0;
}
