#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <string>

class CHistoryImport;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// The progress of a history import, shown beside the window without blocking it: pages done
// of those to do, pages a second, what became of them, and at the end the pages that could not
// be read (the counts are shown a few times a second). Cancel (or closing the dialog) asks for the
// import to stop.
class CImportProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CImportProgressDlg(QWidget* parent = nullptr);

    // The history is being read.
    void ShowReading(const std::string& sourceName);
    // Reading failed, or chose no pages: the message, and Close.
    void ShowStopped(const std::string& message);
    // Follows the import until it finishes; call before the import starts.
    void Follow(CHistoryImport* import);
    bool IsFinished() const { return m_finished; }

    // For tests.
    QString StatusText() const;
    QString CountsText() const;
    QString RateText() const;
    QString FailedText() const;
    QPushButton* Button() const { return m_button; }

signals:
    void CancelRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void ShowProgress();
    void ShowFinished();
    void SetFinished();

    QPointer<CHistoryImport> m_import;
    QTimer m_updateTimer; // the counts are shown a few times a second, not for every page
    QLabel* m_status = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_counts = nullptr;
    QLabel* m_rate = nullptr;
    QLabel* m_failedTitle = nullptr;
    QPlainTextEdit* m_failed = nullptr;
    QPushButton* m_button = nullptr;
    bool m_finished = false;
};
