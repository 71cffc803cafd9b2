// Small pictures drawn in code: task and error marks, message states, toolbar icons.
#include "windows/Icons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap Blank(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A closed or opened envelope filling rect.
void DrawEnvelope(QPainter& p, const QRectF& r, const QColor& body, bool open) {
    p.setPen(QPen(body.darker(170), 1));
    p.setBrush(body);
    if (open) {
        QPainterPath flap;
        flap.moveTo(r.left(), r.top() + r.height() * 0.35);
        flap.lineTo(r.center().x(), r.top());
        flap.lineTo(r.right(), r.top() + r.height() * 0.35);
        p.drawPath(flap);
        p.drawRect(QRectF(r.left(), r.top() + r.height() * 0.35, r.width(), r.height() * 0.65));
        p.drawLine(QPointF(r.left(), r.top() + r.height() * 0.35),
                   QPointF(r.center().x(), r.bottom() - r.height() * 0.25));
        p.drawLine(QPointF(r.right(), r.top() + r.height() * 0.35),
                   QPointF(r.center().x(), r.bottom() - r.height() * 0.25));
    } else {
        p.drawRect(r);
        p.drawLine(r.topLeft(), QPointF(r.center().x(), r.center().y() + r.height() * 0.1));
        p.drawLine(r.topRight(), QPointF(r.center().x(), r.center().y() + r.height() * 0.1));
    }
}

void DrawCross(QPainter& p, const QRectF& r, const QColor& color, qreal width) {
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
}

void DrawTick(QPainter& p, const QRectF& r, const QColor& color, qreal width) {
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(r.left(), r.center().y());
    tick.lineTo(r.left() + r.width() * 0.4, r.bottom());
    tick.lineTo(r.right(), r.top());
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

QPixmap DrawTool(TToolIcon which, bool hot) {
    QPixmap pixmap = Blank(24);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor paper = hot ? QColor(255, 250, 215) : QColor(240, 236, 210);
    switch (which) {
    case TToolIcon::Compose:
        DrawEnvelope(p, QRectF(2.5, 8.5, 15, 11), paper, false);
        p.setPen(QPen(hot ? QColor(30, 90, 200) : QColor(40, 70, 140), 2.5, Qt::SolidLine,
                      Qt::RoundCap));
        p.drawLine(QPointF(12, 14), QPointF(21, 4));
        break;
    case TToolIcon::MarkRead:
        DrawEnvelope(p, QRectF(2.5, 6.5, 17, 13), paper, true);
        DrawTick(p, QRectF(12, 12, 9, 8), hot ? QColor(20, 170, 40) : QColor(20, 130, 40), 2.5);
        break;
    case TToolIcon::ShowAll:
        DrawEnvelope(p, QRectF(6.5, 3.5, 15, 11), paper.darker(115), true);
        DrawEnvelope(p, QRectF(2.5, 9.5, 15, 11), paper, false);
        break;
    case TToolIcon::Delete:
        DrawEnvelope(p, QRectF(2.5, 5.5, 15, 11), paper, false);
        DrawCross(p, QRectF(13, 12, 8, 8), hot ? QColor(230, 30, 30) : QColor(190, 30, 30), 2.5);
        break;
    case TToolIcon::AntiSpam: {
        QPainterPath shield;
        shield.moveTo(12, 2.5);
        shield.lineTo(20.5, 5.5);
        shield.quadTo(20.5, 16, 12, 21.5);
        shield.quadTo(3.5, 16, 3.5, 5.5);
        shield.closeSubpath();
        p.setPen(QPen(QColor(40, 60, 110), 1));
        p.setBrush(hot ? QColor(90, 140, 230) : QColor(70, 110, 190));
        p.drawPath(shield);
        DrawCross(p, QRectF(9, 8, 6, 6), Qt::white, 2);
        break;
    }
    case TToolIcon::CheckNow: {
        DrawEnvelope(p, QRectF(2.5, 10.5, 13, 10), paper, false);
        p.setPen(QPen(hot ? QColor(20, 170, 40) : QColor(20, 130, 40), 2.5, Qt::SolidLine,
                      Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(9, 2, 12, 12), 90 * 16, 270 * 16);
        p.setBrush(p.pen().color());
        QPolygonF head;
        head << QPointF(15, 0.5) << QPointF(19, 2.5) << QPointF(15, 5);
        p.drawPolygon(head);
        break;
    }
    }
    return pixmap;
}

} // namespace

QPixmap TaskImage(int index) {
    QPixmap pixmap = Blank(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (index == 0) {
        QPolygonF arrow;
        arrow << QPointF(4, 2.5) << QPointF(13, 8) << QPointF(4, 13.5);
        p.setPen(QPen(QColor(20, 110, 30), 1));
        p.setBrush(QColor(40, 180, 60));
        p.drawPolygon(arrow);
    } else {
        p.setPen(QPen(QColor(140, 10, 10), 1));
        p.setBrush(QColor(215, 35, 35));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        DrawCross(p, QRectF(5.5, 5.5, 5, 5), Qt::white, 2);
    }
    return pixmap;
}

QPixmap MessageImage(int index) {
    QPixmap pixmap = Blank(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case 0:
        DrawEnvelope(p, QRectF(1.5, 3.5, 13, 9), QColor(255, 225, 90), false);
        break;
    case 1:
        DrawEnvelope(p, QRectF(1.5, 3.5, 13, 9), QColor(200, 200, 200), false);
        DrawCross(p, QRectF(8, 8, 6, 6), QColor(200, 30, 30), 2);
        break;
    default:
        DrawEnvelope(p, QRectF(1.5, 2.5, 13, 11), QColor(235, 235, 235), true);
        break;
    }
    return pixmap;
}

QPixmap InboxImage() {
    QPixmap pixmap = Blank(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(Qt::NoBrush);
    QPainterPath tray;
    tray.moveTo(1.5, 8.5);
    tray.lineTo(5, 8.5);
    tray.lineTo(6, 11);
    tray.lineTo(10, 11);
    tray.lineTo(11, 8.5);
    tray.lineTo(14.5, 8.5);
    tray.lineTo(14.5, 14.5);
    tray.lineTo(1.5, 14.5);
    tray.closeSubpath();
    p.drawPath(tray);
    p.drawLine(QPointF(8, 1.5), QPointF(8, 7.5));
    p.drawLine(QPointF(5.5, 5), QPointF(8, 7.5));
    p.drawLine(QPointF(10.5, 5), QPointF(8, 7.5));
    return pixmap;
}

QIcon ToolIcon(TToolIcon which) {
    QIcon icon;
    icon.addPixmap(DrawTool(which, false), QIcon::Normal);
    icon.addPixmap(DrawTool(which, true), QIcon::Active);
    return icon;
}

QIcon ExtensionArrowIcon(bool vertical) {
    QPixmap pixmap = Blank(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (vertical) // pointing down rather than right
        p.setTransform(QTransform(0, 1, 1, 0, 0, 0));
    p.setPen(QPen(QColor(40, 40, 40), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (qreal x : {4.5, 9.0}) {
        const QPointF chevron[] = {{x, 4.5}, {x + 3, 8}, {x, 11.5}};
        p.drawPolyline(chevron, 3);
    }
    return QIcon(pixmap);
}
