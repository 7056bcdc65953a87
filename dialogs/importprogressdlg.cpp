#include "dialogs/importprogressdlg.h"

#include "dialogs/displaytext.h"
#include "shell/historyimport.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kUpdatePeriodMs = 250;

} // namespace

CImportProgressDlg::CImportProgressDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Importing Browser History"));
    setObjectName(QStringLiteral("ImportProgressDialog"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 0);
    layout->addWidget(m_bar);
    m_counts = new QLabel(this);
    m_counts->setWordWrap(true);
    layout->addWidget(m_counts);
    m_rate = new QLabel(this);
    layout->addWidget(m_rate);
    m_failedTitle = new QLabel(QStringLiteral("These pages could not be read:"), this);
    m_failed = new QPlainTextEdit(this);
    m_failed->setReadOnly(true);
    m_failed->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_failedTitle->hide();
    m_failed->hide();
    layout->addWidget(m_failedTitle);
    layout->addWidget(m_failed, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    m_button = new QPushButton(QStringLiteral("Cancel"), this);
    row->addWidget(m_button);
    layout->addLayout(row);
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_finished)
            accept();
        else
            emit CancelRequested();
    });
    resize(480, sizeHint().height());
    m_updateTimer.setInterval(kUpdatePeriodMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &CImportProgressDlg::ShowProgress);
}

void CImportProgressDlg::ShowReading(const std::string& sourceName) {
    m_status->setText(
        QStringLiteral("Reading the history of %1...").arg(ToDisplayText(sourceName)));
}

void CImportProgressDlg::ShowStopped(const std::string& message) {
    m_status->setText(ToDisplayText(message));
    m_bar->setRange(0, 1);
    m_bar->setValue(0);
    SetFinished();
}

void CImportProgressDlg::Follow(CHistoryImport* import) {
    m_import = import;
    m_status->setText(QStringLiteral("Fetching and mapping the pages..."));
    connect(import, &CHistoryImport::Finished, this, &CImportProgressDlg::ShowFinished);
    m_updateTimer.start();
    ShowProgress();
}

QString CImportProgressDlg::StatusText() const {
    return m_status->text();
}

QString CImportProgressDlg::CountsText() const {
    return m_counts->text();
}

QString CImportProgressDlg::RateText() const {
    return m_rate->text();
}

QString CImportProgressDlg::FailedText() const {
    return m_failed->isHidden() ? QString() : m_failed->toPlainText();
}

void CImportProgressDlg::closeEvent(QCloseEvent* event) {
    if (!m_finished) {
        emit CancelRequested();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CImportProgressDlg::reject() {
    if (!m_finished) {
        emit CancelRequested();
        return;
    }
    QDialog::reject();
}

void CImportProgressDlg::ShowProgress() {
    if (!m_import)
        return;
    const CHistoryImport::CCounts& counts = m_import->Counts();
    const QLocale locale;
    m_bar->setRange(0, std::max(counts.toDo, 1));
    m_bar->setValue(counts.done);
    m_counts->setText(QStringLiteral("%1 of %2 pages done: %3 new, %4 already in Wayfold, %5 "
                                     "filtered, %6 failed.")
                          .arg(locale.toString(counts.done), locale.toString(counts.toDo),
                               locale.toString(counts.stored), locale.toString(counts.known),
                               locale.toString(counts.filtered), locale.toString(counts.failed)));
    m_rate->setText(QStringLiteral("%1 pages a second")
                        .arg(locale.toString(m_import->PagesPerSecond(), 'f', 1)));
}

void CImportProgressDlg::ShowFinished() {
    m_updateTimer.stop();
    if (!m_import)
        return;
    ShowProgress();
    m_status->setText(m_import->WasCancelled()
                          ? QStringLiteral("Cancelled. The pages stored so far stay in Wayfold.")
                          : QStringLiteral("Finished."));
    QString failed;
    for (const std::string& url : m_import->FailedUrls())
        failed += ToDisplayText(url) + QLatin1Char('\n');
    m_failed->setPlainText(failed);
    m_failedTitle->setVisible(!failed.isEmpty());
    m_failed->setVisible(!failed.isEmpty());
    SetFinished();
}

void CImportProgressDlg::SetFinished() {
    m_finished = true;
    m_button->setText(QStringLiteral("Close"));
}
