#include "shell/toolbaricons.h"

#include "shell/settings.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr int kSize = 16;

QPixmap Blank(int size = kSize) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A letter on a small tile; `underline` marks the sort commands.
QIcon LetterIcon(const QString& letter, const QColor& tile, bool underline) {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(0.5, 0.5, kSize - 1, kSize - 1), 3, 3);
    QFont font;
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, kSize, underline ? kSize - 3 : kSize), Qt::AlignCenter, letter);
    if (underline)
        painter.drawLine(QPointF(4, 13.5), QPointF(12, 13.5));
    return QIcon(pixmap);
}

// Three label bars side by side that do not touch: labels only where they fit.
QIcon DeclutterIcon(const QColor& tile) {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(0.5, 0.5, kSize - 1, kSize - 1), 3, 3);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(2, 3, 7, 2));
    painter.drawRect(QRectF(7, 7, 7, 2));
    painter.drawRect(QRectF(3, 11, 7, 2));
    return QIcon(pixmap);
}

} // namespace

QIcon ViewFlagIcon(std::int32_t viewFlagBit) {
    const QColor tile(0, 103, 0);
    switch (viewFlagBit) {
    case kViewUrl:
        return LetterIcon("U", tile, false);
    case kViewTitle:
        return LetterIcon("T", tile, false);
    case kViewDate:
        return LetterIcon("D", tile, false);
    case kViewAnnotation:
        return LetterIcon("A", tile, false);
    case kViewLinks:
        return LetterIcon("L", tile, false);
    case kViewWords:
        return LetterIcon("W", tile, false);
    case kViewLines:
        return LetterIcon("/", tile, false);
    case kViewCategories:
        return LetterIcon("C", tile, false);
    case kViewDeclutter:
        return DeclutterIcon(tile);
    case kViewSoftLines:
        return LetterIcon("/", QColor(110, 170, 120), false);
    default:
        return LetterIcon("?", tile, false);
    }
}

QIcon SortIcon(std::int32_t sortType) {
    const QColor tile(0, 69, 120);
    switch (sortType) {
    case kSortByTitle:
        return LetterIcon("T", tile, true);
    case kSortByUrl:
        return LetterIcon("U", tile, true);
    default:
        return LetterIcon("D", tile, true);
    }
}

QIcon RankCatsIcon() {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 160, 0));
    for (int bar = 0; bar < 4; ++bar) {
        const int height = 4 + bar * 3;
        painter.drawRect(1 + bar * 4, kSize - 1 - height, 3, height);
    }
    return QIcon(pixmap);
}

QIcon ApplicationIcon() {
    constexpr int size = 32;
    QPixmap pixmap = Blank(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(0, 0, size, size), 5, 5);
    const QPointF a(9, 10), b(23, 14), c(13, 24);
    painter.setPen(QPen(QColor(0, 160, 0), 1.5));
    painter.drawLine(a, b);
    painter.drawLine(b, c);
    painter.drawLine(c, a);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 0, 0));
    painter.drawEllipse(a, 4, 4);
    painter.setBrush(QColor(103, 0, 103));
    painter.drawEllipse(b, 3.5, 3.5);
    painter.setBrush(QColor(0, 0, 66).lighter(300));
    painter.drawEllipse(c, 3, 3);
    return QIcon(pixmap);
}
