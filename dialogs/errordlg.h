#pragma once

#include <QDialog>

class QLabel;

// The modal error box: caption "Wayfold: ERROR", the warning picture, the message and OK.
class CErrorDlg : public QDialog {
    Q_OBJECT
public:
    explicit CErrorDlg(const QString& message, QWidget* parent = nullptr);

    QString Message() const;

private:
    QLabel* m_message = nullptr;
};

// Makes ShowError and ShowFatalError show a CErrorDlg and wait for OK (ShowFatalError then
// ends the process with exit code 1). Needs a QApplication; a report from a thread other than
// the GUI thread, or before the application exists, goes to standard error instead, since
// widgets live on the GUI thread only.
void InstallGuiErrorHandler();
