#include "dialogs/aboutdlg.h"

#include "dialogs/displaytext.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(const std::string& licenseText, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Wayfold"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setPixmap(Picture());
    picture->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture);
    auto* prompt = new QLabel(QStringLiteral("Click to return to Wayfold"), this);
    prompt->setObjectName(QStringLiteral("ReturnPrompt"));
    layout->addWidget(prompt);
    auto* version = new QLabel(QStringLiteral("Version 2.0"), this);
    version->setObjectName(QStringLiteral("Version"));
    layout->addWidget(version);
    auto* text = new QPlainTextEdit(this);
    text->setObjectName(QStringLiteral("LicenseText"));
    text->setReadOnly(true);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text->setPlainText(ToDisplayText(licenseText));
    layout->addWidget(text);
    // The text box and the labels take clicks for themselves; a click on any of them closes
    // the box as well.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    text->viewport()->installEventFilter(this);
}

QPixmap CAboutDlg::Picture() {
    QPixmap pixmap(320, 120);
    pixmap.fill(QColor(0x10, 0x20, 0x40));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF nodes[] = {{40, 80}, {110, 30}, {170, 85}, {240, 40}, {290, 90}};
    painter.setPen(QPen(QColor(0x80, 0xA0, 0xFF), 2));
    for (size_t i = 0; i + 1 < std::size(nodes); ++i)
        painter.drawLine(nodes[i], nodes[i + 1]);
    painter.drawLine(nodes[0], nodes[2]);
    painter.drawLine(nodes[1], nodes[3]);
    painter.setBrush(QColor(0xFF, 0xD0, 0x40));
    painter.setPen(Qt::NoPen);
    for (const QPointF& node : nodes)
        painter.drawEllipse(node, 9, 9);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(28);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(0, 0, 320, 120), Qt::AlignCenter, QStringLiteral("Wayfold"));
    return pixmap;
}

void CAboutDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        accept();
    else
        QDialog::mousePressEvent(event);
}

bool CAboutDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
