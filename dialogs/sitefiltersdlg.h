#pragma once

#include <QDialog>

class CSiteFilterList;
class QListWidget;
class QPushButton;

// "Site Filters": the site filters one line each, in list order, with "&Add", "&Edit",
// "&Delete" and "&Close". Changes act on the filter list at once. The Esc key acts as "&Add",
// as this dialog has always done; "&Close" (and the window's close button) close it.
class CSiteFiltersDlg : public QDialog {
    Q_OBJECT
public:
    // The list is not owned and must outlive the dialog.
    explicit CSiteFiltersDlg(CSiteFilterList& filters, QWidget* parent = nullptr);

    // Handlers of the controls, public so they can be driven directly.
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnSelectionChanged();

protected:
    // Esc: "&Add". Other ways of cancelling (the window's close button, the program closing)
    // close the dialog.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FillList();
    int SelectedRow() const;

    CSiteFilterList& m_filters;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_editButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QListWidget* m_list = nullptr;
};
