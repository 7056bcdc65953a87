#pragma once

#include <QDialog>

#include <string>

class CCategoryTree;
class CSite;
class CSiteDatabase;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;

// "Edit Properties": a site's URL, title, annotation and hidden flag for editing, its date, and,
// read-only, its words and the path names of the categories it is filed in. The dialog changes
// nothing; after exec() returned Accepted the caller reads the edited values back.
class CSitePropertiesDlg : public QDialog {
    Q_OBJECT
public:
    // Nothing is owned; the site, database and hierarchy must outlive the dialog.
    CSitePropertiesDlg(const CSite& site, const CSiteDatabase& database,
                       const CCategoryTree& categories, QWidget* parent = nullptr);

    // The edited texts as bytes: the site's own bytes when a text was not changed, else UTF-8.
    std::string Url() const;
    std::string Title() const;
    std::string Annotation() const;
    bool Hidden() const;
    // False for a site seen only as a link: the words and categories are not shown.
    bool ShowsLists() const { return m_showsLists; }

private:
    void FillLists(const CSite& site, const CCategoryTree& categories);
    static std::string EditedBytes(const QLineEdit* edit, const std::string& original);

    std::string m_originalUrl;
    std::string m_originalTitle;
    std::string m_originalAnnotation;

    QListWidget* m_categoriesList = nullptr;
    QListWidget* m_wordsList = nullptr;
    QLineEdit* m_annotationText = nullptr;
    QLineEdit* m_dateText = nullptr;
    QLineEdit* m_titleText = nullptr;
    QLineEdit* m_urlText = nullptr;
    QCheckBox* m_hiddenFlag = nullptr;
    QGroupBox* m_wordsBox = nullptr;
    QGroupBox* m_categoriesBox = nullptr;
    bool m_showsLists = true;
};
