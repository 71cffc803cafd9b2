// The dialogs' own pictures, drawn at run time: nothing is loaded from files.
#include "dialogs/DialogPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

QImage AccountPicture(int width) {
    QImage image(width, 96, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF envelope(width / 2.0 - 36, 14, 72, 48);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 2));
    p.setBrush(QColor(0xF4, 0xF0, 0xE6));
    p.drawRect(envelope);
    QPainterPath flap;
    flap.moveTo(envelope.topLeft());
    flap.lineTo(envelope.center().x(), envelope.top() + 28);
    flap.lineTo(envelope.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
    // The bar the mail scrolls along.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3A, 0x6E, 0xA5));
    p.drawRoundedRect(QRectF(8, 72, width - 16, 12), 3, 3);
    p.setBrush(QColor(0xE8, 0xB0, 0x30));
    p.drawRoundedRect(QRectF(12, 74, 30, 8), 2, 2);
    return image;
}

QImage AboutBanner(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient fill(0, 0, width, height);
    fill.setColorAt(0, QColor(0x1C, 0x3A, 0x5E));
    fill.setColorAt(1, QColor(0x3A, 0x6E, 0xA5));
    p.fillRect(image.rect(), fill);
    QFont font = p.font();
    font.setPixelSize(height / 3);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 4, width, height / 2), Qt::AlignHCenter | Qt::AlignVCenter, "Quillbar");
    return image;
}

QImage CowPicture() {
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    // Legs, body with patches, head, horns, muzzle.
    p.setBrush(Qt::white);
    for (int x : {7, 11, 20, 24})
        p.drawRect(x, 22, 2, 7);
    p.drawRoundedRect(QRectF(4, 11, 23, 13), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QRectF(8, 13, 6, 5));
    p.drawEllipse(QRectF(17, 16, 5, 6));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(21, 5, 10, 10));
    p.drawLine(QPointF(23, 6), QPointF(22, 3));
    p.drawLine(QPointF(29, 6), QPointF(30, 3));
    p.setBrush(QColor(0xF0, 0xA8, 0xB0));
    p.drawEllipse(QRectF(23, 11, 7, 5));
    p.setBrush(Qt::black);
    p.drawEllipse(QRectF(23.5, 8, 1.5, 1.5));
    p.drawEllipse(QRectF(27.5, 8, 1.5, 1.5));
    // Tail.
    p.drawLine(QPointF(4, 13), QPointF(1, 20));
    return image;
}

QImage WindowCorner() {
    QImage image(172, 30, QImage::Format_RGB32);
    image.fill(QColor(0xD4, 0xD0, 0xC8));
    QPainter p(&image);
    QLinearGradient title(0, 0, 172, 0);
    title.setColorAt(0, QColor(0x0A, 0x24, 0x6A));
    title.setColorAt(1, QColor(0xA6, 0xCA, 0xF0));
    p.fillRect(QRect(3, 3, 169, 18), title);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawLine(0, 0, 171, 0);
    p.drawLine(0, 0, 0, 29);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(8, 3, 150, 18), Qt::AlignVCenter | Qt::AlignLeft, "Untitled");
    return image;
}
