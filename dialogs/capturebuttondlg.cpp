#include "dialogs/capturebuttondlg.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// 21 by 20 dialog units at the usual 1.75 by 2 pixels per unit.
constexpr int kClientWidth = 37;
constexpr int kClientHeight = 40;

// A small eye: open and calm when idle, with a red pupil while pages are being taken in.
QIcon EyeIcon(const QColor& pupil) {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(Qt::white);
    QPainterPath eye;
    eye.moveTo(2, 12);
    eye.quadTo(12, 2, 22, 12);
    eye.quadTo(12, 22, 2, 12);
    painter.drawPath(eye);
    painter.setBrush(pupil);
    painter.drawEllipse(QPointF(12, 12), 4.5, 4.5);
    return QIcon(pixmap);
}

} // namespace

CCaptureButtonDlg::CCaptureButtonDlg(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), m_button(new QPushButton(this)) {
    setWindowTitle(QStringLiteral("QUORL: Passive Mode"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_button->setIcon(IdleIcon());
    m_button->setIconSize(QSize(24, 24));
    m_button->setToolTip(QStringLiteral("Take in the pages the browsers show now"));
    m_button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(m_button);
    setFixedSize(kClientWidth, kClientHeight);
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_capture)
            m_capture();
    });
}

void CCaptureButtonDlg::SetBusy(bool busy) {
    m_busy = busy;
    m_button->setIcon(busy ? BusyIcon() : IdleIcon());
}

void CCaptureButtonDlg::PlaceAndShow() {
    SetBusy(false);
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->geometry();
        move(area.width() - width() - 10, area.height() / 2);
    }
    show();
    raise();
}

QIcon CCaptureButtonDlg::IdleIcon() {
    return EyeIcon(QColor(0x30, 0x50, 0x90));
}

QIcon CCaptureButtonDlg::BusyIcon() {
    return EyeIcon(QColor(0xD0, 0x20, 0x20));
}
