#include "views/logbookimages.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <array>

namespace {
const QColor kVisited(0xD0, 0x00, 0x00);
const QColor kLink(0x80, 0x00, 0x80);
const QColor kHiddenFill(0xB0, 0xB0, 0xB0);
const QColor kOutline(0x00, 0x67, 0x00);
const QColor kSelectedRing(0x00, 0x78, 0xD7);
const QColor kFolder(0xE8, 0xB8, 0x30);
const QColor kFolderDark(0xA0, 0x78, 0x10);

void Dot(QPainter& p, int diameter, const QColor& fill, bool hidden, bool selected) {
    const int offset = (kLogBookImageSize - diameter) / 2;
    const QRect box(offset, offset, diameter, diameter);
    if (selected) {
        p.setPen(QPen(kSelectedRing, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(box.adjusted(-2, -2, 1, 1));
    }
    p.setPen(QPen(hidden ? fill : kOutline, 1, hidden ? Qt::DotLine : Qt::SolidLine));
    p.setBrush(hidden ? QBrush(kHiddenFill) : QBrush(fill));
    p.drawEllipse(box);
}

void Folder(QPainter& p, bool open, bool selected) {
    p.setPen(kFolderDark);
    p.setBrush(selected ? kFolder.lighter(120) : kFolder);
    p.drawRect(1, 4, 13, 10);
    p.drawRect(1, 2, 5, 2);
    if (open) {
        QPainterPath flap;
        flap.moveTo(1, 14);
        flap.lineTo(4, 7);
        flap.lineTo(15, 7);
        flap.lineTo(13, 14);
        flap.closeSubpath();
        p.setBrush(kFolder.lighter(130));
        p.drawPath(flap);
    }
}

void Stack(QPainter& p, const QColor& color, bool selected) {
    p.setPen(selected ? kSelectedRing : Qt::black);
    for (int i = 0; i < 3; ++i) {
        p.setBrush(color.lighter(100 + 25 * i));
        p.drawRect(2 + i, 2 + 4 * i, 11, 4);
    }
}

void Draw(QPainter& p, int index) {
    switch (index) {
    case 0:
    case 1:
        Dot(p, 10, kVisited, false, index == 1);
        break;
    case 2:
    case 3:
        Dot(p, 10, kVisited, true, index == 3);
        break;
    case 4:
    case 5:
        Dot(p, 7, kLink, false, index == 5);
        break;
    case 6:
    case 7:
        Dot(p, 7, kLink, true, index == 6);
        break;
    case 8:
        Stack(p, kVisited, false);
        break;
    case 9:
    case 10:
        Stack(p, kFolder, index == 10);
        break;
    case 11:
    case 12:
        Folder(p, index == 11, false);
        break;
    case 13:
    case 14:
        Folder(p, false, false);
        p.setPen(kOutline);
        p.setBrush(index == 14 ? kSelectedRing : kVisited);
        p.drawEllipse(7, 7, 8, 8);
        break;
    default:
        break;
    }
}
} // namespace

QPixmap LogBookImage(int index) {
    // Images, not pixmaps: a static pixmap would outlive the application object.
    static std::array<QImage, kLogBookImageCount> cache;
    if (index < 0 || index >= kLogBookImageCount) {
        QPixmap empty(kLogBookImageSize, kLogBookImageSize);
        empty.fill(Qt::transparent);
        return empty;
    }
    if (cache[index].isNull()) {
        QImage picture(kLogBookImageSize, kLogBookImageSize, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        Draw(painter, index);
        painter.end();
        cache[index] = picture;
    }
    return QPixmap::fromImage(cache[index]);
}

QIcon LogBookIcon(int normal, int selected) {
    QIcon icon;
    icon.addPixmap(LogBookImage(normal), QIcon::Normal);
    icon.addPixmap(LogBookImage(selected), QIcon::Selected);
    return icon;
}
