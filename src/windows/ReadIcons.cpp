// Pictures of the read window drawn in code: toolbar icons, priority marks, paper clip.
#include "windows/ReadIcons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap Blank(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A filled arrow head pointing right (dir 1) or left (dir -1), tip at x.
void Head(QPainter& p, qreal x, qreal y, int dir, qreal size) {
    QPolygonF head;
    head << QPointF(x, y) << QPointF(x - dir * size, y - size) << QPointF(x - dir * size, y + size);
    p.drawPolygon(head);
}

// A curved arrow from the right going up and back left (reply), or mirrored.
void CurvedArrow(QPainter& p, qreal dx, int dir, const QColor& color) {
    p.setPen(QPen(color, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    const qreal start = dir < 0 ? 20 + dx : 4 + dx;
    const qreal end = dir < 0 ? 8 + dx : 16 + dx;
    path.moveTo(start, 19);
    path.cubicTo(start, 11, start, 10, end, 10);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    Head(p, dir < 0 ? 3 + dx : 21 + dx, 10, dir, 5);
}

void Bar(QPainter& p, qreal x, const QColor& color) {
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRect(QRectF(x, 5, 3, 14));
}

QPixmap DrawRead(TReadIcon which, bool hot) {
    QPixmap pixmap = Blank(24, 24);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue = hot ? QColor(40, 110, 230) : QColor(40, 80, 160);
    const QColor green = hot ? QColor(30, 170, 60) : QColor(30, 130, 50);
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    switch (which) {
    case TReadIcon::Reply:
        CurvedArrow(p, 0, -1, blue);
        break;
    case TReadIcon::ReplyAll:
        CurvedArrow(p, 1, -1, blue.lighter(140));
        CurvedArrow(p, -2, -1, blue);
        break;
    case TReadIcon::Forward:
        CurvedArrow(p, 0, 1, green);
        break;
    case TReadIcon::Redirect:
        p.setPen(QPen(green, 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 19), QPointF(4, 11));
        p.drawLine(QPointF(4, 11), QPointF(15, 11));
        p.setPen(Qt::NoPen);
        p.setBrush(green);
        Head(p, 21, 11, 1, 5);
        break;
    case TReadIcon::First:
        Bar(p, 4, blue);
        Head(p, 8, 12, -1, 7);
        Head(p, 15, 12, -1, 7);
        break;
    case TReadIcon::Previous:
        Head(p, 6, 12, -1, 8);
        break;
    case TReadIcon::Next:
        Head(p, 18, 12, 1, 8);
        break;
    case TReadIcon::Last:
        Bar(p, 17, blue);
        Head(p, 16, 12, 1, 7);
        Head(p, 9, 12, 1, 7);
        break;
    case TReadIcon::AddContact:
        p.setBrush(hot ? QColor(240, 190, 120) : QColor(210, 160, 100));
        p.setPen(QPen(QColor(90, 60, 30), 1));
        p.drawEllipse(QRectF(6.5, 2.5, 9, 9));
        p.drawChord(QRectF(2.5, 12.5, 17, 16), 0, 180 * 16);
        p.setPen(QPen(green, 2.5));
        p.drawLine(QPointF(19, 14), QPointF(19, 22));
        p.drawLine(QPointF(15, 18), QPointF(23, 18));
        break;
    case TReadIcon::Download:
        p.drawRect(QRectF(9, 2, 6, 10));
        {
            QPolygonF head;
            head << QPointF(12, 19) << QPointF(4, 11) << QPointF(20, 11);
            p.drawPolygon(head);
        }
        p.setBrush(QColor(120, 120, 120));
        p.drawRect(QRectF(3, 20, 18, 2.5));
        break;
    }
    return pixmap;
}

} // namespace

QIcon ReadIcon(TReadIcon which) {
    QIcon icon;
    icon.addPixmap(DrawRead(which, false), QIcon::Normal);
    icon.addPixmap(DrawRead(which, true), QIcon::Active);
    return icon;
}

QPixmap PriorityImage(int index) {
    QPixmap pixmap = Blank(12, 12);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (index == 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(210, 30, 30));
        p.drawEllipse(QRectF(0.5, 0.5, 11, 11));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5, 2.5, 2, 5));
        p.drawRect(QRectF(5, 8.5, 2, 1.5));
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 90, 200));
        QPolygonF arrow;
        arrow << QPointF(6, 11.5) << QPointF(0.5, 5) << QPointF(4, 5) << QPointF(4, 0.5)
              << QPointF(8, 0.5) << QPointF(8, 5) << QPointF(11.5, 5);
        p.drawPolygon(arrow);
    }
    return pixmap;
}

QIcon PaperClipIcon() {
    QPixmap pixmap = Blank(20, 20);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 100), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath clip;
    clip.moveTo(12, 6);
    clip.lineTo(12, 14);
    clip.arcTo(QRectF(8, 11, 4, 6), 0, -180);
    clip.lineTo(8, 4);
    clip.arcTo(QRectF(8, 1, 6, 6), 180, -180);
    clip.lineTo(14, 15);
    clip.arcTo(QRectF(6, 11, 8, 8), 0, -180);
    clip.lineTo(6, 7);
    p.drawPath(clip);
    return QIcon(pixmap);
}

QPixmap AttachmentPicture(QSize size) {
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    QLinearGradient fill(0, 0, 0, size.height());
    fill.setColorAt(0, QColor(60, 100, 170));
    fill.setColorAt(1, QColor(20, 40, 90));
    p.fillRect(pixmap.rect(), fill);
    p.setRenderHint(QPainter::Antialiasing);
    // A sheet of paper with a clip.
    const QRectF sheet(size.width() * 0.2, size.height() * 0.2, size.width() * 0.6,
                       size.height() * 0.45);
    p.setPen(QPen(QColor(200, 200, 210), 1));
    p.setBrush(QColor(250, 250, 245));
    p.drawRect(sheet);
    p.setPen(QPen(QColor(190, 190, 200), 1));
    for (qreal y = sheet.top() + 14; y < sheet.bottom() - 6; y += 9)
        p.drawLine(QPointF(sheet.left() + 8, y), QPointF(sheet.right() - 8, y));
    p.drawPixmap(QPointF(sheet.right() - 14, sheet.top() - 8), PaperClipIcon().pixmap(20, 20));
    return pixmap;
}
