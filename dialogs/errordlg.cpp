#include "dialogs/errordlg.h"

#include "dialogs/displaytext.h"
#include "model/errorreport.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include <cstdio>

CErrorDlg::CErrorDlg(const QString& message, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Wayfold: ERROR"));
    setModal(true);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    picture->setAlignment(Qt::AlignTop);

    m_message = new QLabel(message, this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(picture);
    row->addWidget(m_message, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row, 1);
    layout->addWidget(buttons);
    setMinimumSize(480, 160);
}

QString CErrorDlg::Message() const {
    return m_message->text();
}

namespace {
bool OnGuiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && qobject_cast<const QApplication*>(app) != nullptr &&
           QThread::currentThread() == app->thread();
}

void ShowErrorBox(const std::string& text, bool /*fatal*/) {
    if (!OnGuiThread()) {
        std::fprintf(stderr, "Wayfold: %s\n", text.c_str());
        return;
    }
    CErrorDlg box(ToDisplayText(text));
    box.exec();
}
} // namespace

void InstallGuiErrorHandler() {
    SetErrorHandler(&ShowErrorBox);
}
