#pragma once

#include <QDialog>

#include <memory>

class CSiteFilter;
class CSiteFilterList;
class CSortedListWidget;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Site Filter Properties": one site filter's kind (URL or word filter) and its strings. The
// filter changes only on OK; a new filter then joins the end of the filter list.
class CSiteFilterPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    // Edits `filter`, or a new URL filter without strings when it is null. Nothing is owned
    // but the new filter until OK hands it to the list; list and filter must outlive the dialog.
    CSiteFilterPropertiesDlg(CSiteFilterList& filters, CSiteFilter* filter,
                             QWidget* parent = nullptr);
    ~CSiteFilterPropertiesDlg() override;

    // The filter being edited (the new one for a new filter; owned by the list after OK).
    CSiteFilter* Filter() const { return m_filter; }

    // Sets the kind and the strings (each entry of the list once), appends a new filter to the
    // filter list, and closes.
    void accept() override;

    // Handlers of the controls, public so they can be driven directly.
    void OnTextChanged(const QString& text);
    void OnAdd();
    void OnDelete();
    void OnSelectionChanged();

private:
    CSiteFilterList& m_filters;
    CSiteFilter* m_filter = nullptr;
    std::unique_ptr<CSiteFilter> m_newFilter;

    QPushButton* m_addButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    CSortedListWidget* m_strings = nullptr;
    QRadioButton* m_urlFilter = nullptr;
    QRadioButton* m_wordFilter = nullptr;
    QLineEdit* m_newString = nullptr;
};
