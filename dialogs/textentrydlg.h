#pragma once

#include <QDialog>

class QLineEdit;

// Asks for one line of text ("Enter Text", OK/Cancel). The text starts empty and holds at
// most kMaxLength characters. Read Text() only after exec() returned QDialog::Accepted.
class CTextEntryDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 80;

    explicit CTextEntryDlg(QWidget* parent = nullptr);

    QString Text() const { return m_text; }

    void accept() override;

private:
    QLineEdit* m_edit = nullptr;
    QString m_text;
};
