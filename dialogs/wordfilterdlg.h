#pragma once

#include <QDialog>

class CSortedListWidget;
class CWordList;
class QLineEdit;
class QPushButton;

// "Word Filter": the stop words, sorted, with a box for new ones (typed in capitals). The
// stop-word list is sorted when the dialog opens and rebuilt from the dialog's list on OK.
class CWordFilterDlg : public QDialog {
    Q_OBJECT
public:
    // The list is not owned and must outlive the dialog.
    explicit CWordFilterDlg(CWordList& stopList, QWidget* parent = nullptr);

    // Empties the stop-word list and adds every word of the dialog's list, in its order.
    void accept() override;

    // Handlers of the controls, public so they can be driven directly.
    void OnTextChanged(const QString& text);
    void OnAdd();
    void OnDelete();
    void OnSelectionChanged();

private:
    CWordList& m_stopList;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_addButton = nullptr;
    CSortedListWidget* m_words = nullptr;
    QLineEdit* m_newWord = nullptr;
};
