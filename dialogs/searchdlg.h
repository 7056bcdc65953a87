#pragma once

#include <QDialog>

#include <map>
#include <string>
#include <vector>

class CSite;
class CSiteDatabase;
class CSortedListWidget;
class CWordList;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// "Search": finds sites by keyword. The keyword list gathers the words of the word index, of
// the titles and of the annotations, as the three check boxes choose; typing selects the first
// keyword beginning with the text, and the sites carrying the selected keyword are listed
// below it. What "Center", "Properties" and "Open in Browser" do is left to whoever connects
// to the signals; the dialog only picks the site.
class CSearchDlg : public QDialog {
    Q_OBJECT
public:
    // Nothing is owned; the database and stop list must outlive the dialog, and no site may be
    // removed while it is open. The keyword list is built at once from the three options.
    CSearchDlg(const CSiteDatabase& database, const CWordList& stopList, bool searchWords,
               bool searchTitles, bool searchAnnotations, QWidget* parent = nullptr);

    // The check boxes as the user left them.
    bool SearchWords() const;
    bool SearchTitles() const;
    bool SearchAnnotations() const;

    // The site of the selected entry of the site list, or null.
    CSite* SelectedSite() const;

    // Handlers of the controls, public so they can be driven directly.
    void RebuildKeywords();
    void OnKeywordTyped(const QString& text);
    void OnKeywordSelected();
    void OnSiteSelectionChanged();
    void OnCenter();
    void OnProperties();
    void OnOpenInBrowser();
    void OnSiteDoubleClicked();

signals:
    // Each carries the selected site; none is emitted when no site is selected.
    void CenterRequested(CSite* site);
    // Connected handlers edit the site before returning; its entry is then shown anew.
    void PropertiesRequested(CSite* site);
    void OpenRequested(CSite* site);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using SiteMap = std::map<std::string, CSite*>; // URL -> site

    void AddIndexWords();
    void AddSplitWords(bool fromTitles);
    // Adds the site to the entry beginning with the word, or to a new entry for the word.
    void FileSiteUnderWord(const std::string& word, CSite* site);
    int AddKeyword(const std::string& text);
    void ShowSitesOf(int keywordRow);
    void SetSiteButtonsEnabled(bool enabled);
    static QString SiteEntryText(const CSite& site);

    const CSiteDatabase& m_database;
    const CWordList& m_stopList;
    std::vector<SiteMap> m_keywordSites; // owned by the dialog; keyword rows hold the index
    bool m_selectingByTyping = false;

    QLineEdit* m_keywordText = nullptr;
    QCheckBox* m_searchWords = nullptr;
    QCheckBox* m_searchTitles = nullptr;
    QCheckBox* m_searchAnnotations = nullptr;
    CSortedListWidget* m_keywordList = nullptr;
    QListWidget* m_siteList = nullptr;
    QPushButton* m_centerButton = nullptr;
    QPushButton* m_propertiesButton = nullptr;
    QPushButton* m_openButton = nullptr;
};
