#include "dialogs/textentrydlg.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QVBoxLayout>

CTextEntryDlg::CTextEntryDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Enter Text"));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("text"));
    m_edit->setMaxLength(kMaxLength);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CTextEntryDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
    setMinimumWidth(340);
}

void CTextEntryDlg::accept() {
    // The edit's own limit already holds; the cut keeps the promise for text set otherwise.
    m_text = m_edit->text().left(kMaxLength);
    QDialog::accept();
}
