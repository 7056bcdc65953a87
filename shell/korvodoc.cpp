#include "shell/korvodoc.h"

#include <algorithm>

CKorvoDoc::CKorvoDoc(QObject* parent) : QObject(parent), m_title("Wayfold 2.0") {}

void CKorvoDoc::AddView(QObject* view, std::function<void()> update) {
    if (view && update)
        m_views.push_back({view, std::move(update)});
}

void CKorvoDoc::RemoveView(QObject* view) {
    std::erase_if(m_views, [view](const CView& v) { return v.object == view; });
}

int CKorvoDoc::ViewCount() const {
    return static_cast<int>(std::count_if(m_views.begin(), m_views.end(),
                                          [](const CView& v) { return !v.object.isNull(); }));
}

void CKorvoDoc::UpdateAllViews() {
    std::erase_if(m_views, [](const CView& v) { return v.object.isNull(); });
    // A view's update may add or remove views; walk a copy.
    const std::vector<CView> views = m_views;
    for (const CView& view : views)
        if (!view.object.isNull())
            view.update();
    emit ViewsUpdated();
}
