#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

// The document that joins the views of the main window. It holds no data (the main frame owns
// the store); it carries the window title and tells every registered view to update.
class CKorvoDoc : public QObject {
    Q_OBJECT
public:
    explicit CKorvoDoc(QObject* parent = nullptr);

    // "Wayfold 2.0".
    QString Title() const { return m_title; }

    // Registers a view; `update` runs on every UpdateAllViews while `view` exists. The view is
    // not owned.
    void AddView(QObject* view, std::function<void()> update);
    void RemoveView(QObject* view);
    int ViewCount() const;

    // Calls every live view's update, in the order the views were added.
    void UpdateAllViews();

signals:
    // Emitted after the views were updated.
    void ViewsUpdated();

private:
    struct CView {
        QPointer<QObject> object;
        std::function<void()> update;
    };
    QString m_title;
    std::vector<CView> m_views;
};
