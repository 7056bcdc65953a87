#pragma once

#include <QUrl>
#include <QWidget>

class QTextBrowser;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

// Wayfold's help window: the user manual in a text browser, with the manual's sections listed
// beside it. Links within the manual move inside the window (Back and Forward return); a link
// to anywhere else is announced through OutsideLinkClicked for the system's browser.
class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // Shows the manual file at `anchor` (its top when empty), loading the file when it is not
    // the one shown. False when the file cannot be read; the window is then left as it was.
    bool ShowManual(const QUrl& manual, const QString& anchor = {});

    // Keeps the window usable while `modal` (a modal dialog, or none) runs: the window becomes
    // the dialog's own window, which the dialog does not block, and a window of its own again
    // when the dialog is hidden. Geometry and visibility are kept.
    void StayUsableOver(QWidget* modal);

    // The section in view (the anchor last moved to); empty at the top.
    QString CurrentAnchor() const;
    QTextBrowser* Browser() const { return m_browser; }
    QTreeWidget* Contents() const { return m_contents; }

signals:
    void OutsideLinkClicked(const QUrl& url);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Reparent(QWidget* owner);
    void FillContents();
    void FollowLink(const QUrl& link);
    void OnSourceChanged(const QUrl& source);
    void OnContentsItemClicked(QTreeWidgetItem* item);
    bool IsManual(const QUrl& url) const;

    QTextBrowser* m_browser = nullptr;
    QTreeWidget* m_contents = nullptr;
    QToolButton* m_back = nullptr;
    QToolButton* m_forward = nullptr;
    QUrl m_manual; // the file shown, without fragment
};
