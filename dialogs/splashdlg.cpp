#include "dialogs/splashdlg.h"

#include <QEvent>
#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <array>

namespace {
struct Node {
    int x;
    int y;
    int diameter;
};

// A hand-placed miniature of the linkage map: visited sites (large), their links (small).
constexpr std::array<Node, 9> kNodes{{{70, 70, 20},
                                      {180, 40, 15},
                                      {150, 140, 20},
                                      {60, 200, 15},
                                      {250, 110, 15},
                                      {230, 230, 20},
                                      {120, 280, 15},
                                      {330, 280, 15},
                                      {300, 40, 15}}};
constexpr std::array<std::pair<int, int>, 10> kEdges{
    {{0, 1}, {0, 2}, {0, 3}, {2, 4}, {2, 5}, {5, 6}, {5, 7}, {4, 8}, {1, 8}, {3, 6}}};

QPoint CenterOf(const Node& node) {
    return {node.x + node.diameter / 2, node.y + node.diameter / 2};
}
} // namespace

CSplashDlg::CSplashDlg() : QSplashScreen(ProductPicture()) {
    setWindowTitle(QStringLiteral("Wayfold"));
}

void CSplashDlg::CloseWhenShown(QWidget* mainWindow) {
    if (mainWindow == nullptr || mainWindow->isVisible()) {
        close();
        return;
    }
    m_mainWindow = mainWindow;
    mainWindow->installEventFilter(this);
}

bool CSplashDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_mainWindow && event->type() == QEvent::Show) {
        m_mainWindow->removeEventFilter(this);
        m_mainWindow = nullptr;
        close();
    }
    return QSplashScreen::eventFilter(watched, event);
}

QPixmap CSplashDlg::ProductPicture() {
    QPixmap picture(kWidth, kHeight);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    painter.setPen(QPen(QColor(0x00, 0x45, 0x00), 2));
    for (const auto& [from, to] : kEdges) {
        painter.drawLine(CenterOf(kNodes[from]), CenterOf(kNodes[to]));
    }
    for (const Node& node : kNodes) {
        const bool visited = node.diameter == 20;
        painter.setPen(QPen(QColor(0x00, 0x67, 0x00), 2));
        painter.setBrush(visited ? QColor(0xFF, 0x00, 0x00) : QColor(0x67, 0x00, 0x67));
        painter.drawEllipse(node.x, node.y, node.diameter, node.diameter);
    }

    QFont title(QStringLiteral("Sans Serif"));
    title.setPixelSize(72);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(QColor(0x00, 0xFF, 0x00));
    painter.drawText(QRect(340, 90, kWidth - 350, 100), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Wayfold"));

    QFont version(QStringLiteral("Sans Serif"));
    version.setPixelSize(22);
    painter.setFont(version);
    painter.setPen(QColor(0xC0, 0xC0, 0xC0));
    painter.drawText(QRect(344, 190, kWidth - 354, 40), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("2.0 - a map of your browsing"));

    painter.setPen(QPen(QColor(0x00, 0x67, 0x00), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(1, 1, kWidth - 3, kHeight - 3);
    return picture;
}
