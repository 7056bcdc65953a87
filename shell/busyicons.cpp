#include "shell/busyicons.h"

#include <QPainter>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr int kSize = 16;
constexpr int kSpokes = 18;

// A ring of 18 dots; while busy a bright head runs round it with a fading tail.
QPixmap DrawBusyIcon(int index) {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QPointF center(kSize / 2.0, kSize / 2.0);
    for (int spoke = 0; spoke < kSpokes; ++spoke) {
        const double angle = 2.0 * std::numbers::pi * spoke / kSpokes - std::numbers::pi / 2;
        const QPointF at = center + QPointF(std::cos(angle), std::sin(angle)) * 6.0;
        QColor color(90, 110, 90);
        if (index > 0) {
            const int behind = ((index - 1) - spoke + kSpokes) % kSpokes;
            if (behind < 6)
                color = QColor::fromHsv(120, 255, 255 - behind * 30);
        }
        painter.setBrush(color);
        painter.drawEllipse(at, 1.4, 1.4);
    }
    painter.setBrush(index > 0 ? QColor(0, 200, 0) : QColor(0, 103, 0));
    painter.drawEllipse(center, 2.5, 2.5);
    return pixmap;
}

} // namespace

QPixmap BusyIcon(int index) {
    static std::vector<QPixmap> icons;
    if (icons.empty())
        for (int i = 0; i < kBusyIconCount; ++i)
            icons.push_back(DrawBusyIcon(i));
    if (index < 0 || index >= kBusyIconCount)
        index = 0;
    return icons[static_cast<size_t>(index)];
}
