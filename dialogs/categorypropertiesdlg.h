#pragma once

#include <QDialog>

class CCategory;
class QListWidget;
class QPushButton;

// "Category Properties": a category's name and its parent's name, the URLs of its sites and its
// defining words, which Add and Delete edit. OK writes into the category, and only when a word
// was added or deleted: sites whose URL left the list leave the category, and the defining
// words become the listed ones with weight 1 each (a repeated word once, weighing its number of
// repetitions). Cancel changes nothing. A top-level category shows only the names.
class CCategoryPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    // The category is not owned and must outlive the dialog.
    explicit CCategoryPropertiesDlg(CCategory& category, QWidget* parent = nullptr);

    bool IsModified() const { return m_modified; }
    void accept() override;

private:
    void OnAdd();
    void OnDelete();
    void ApplyToCategory();

    bool m_modified = false;
    CCategory& m_category;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QListWidget* m_urlsList = nullptr;
    QListWidget* m_wordsList = nullptr;
};
