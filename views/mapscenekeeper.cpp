#include "views/mapscenekeeper.h"

#include "model/category.h"
#include "model/site.h"
#include "model/wordentry.h"
#include "shell/korvodoc.h"
#include "views/maprenderer.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {

// The longest the window's thread spends on one batch of measured sizes.
constexpr qint64 kSizeBatchNs = 3'000'000;

} // namespace

CMapSceneKeeper::CMapSceneKeeper(CKorvoDoc& document, QObject* parent)
    : QObject(parent), m_document(document), m_scene(std::make_shared<CMapScene>()) {
    Reset();
    connect(&document, &CKorvoDoc::SiteAdded, this, &CMapSceneKeeper::OnSiteAdded);
    connect(&document, &CKorvoDoc::SiteAboutToBeRemoved, this,
            &CMapSceneKeeper::OnSiteAboutToBeRemoved);
    connect(&document, &CKorvoDoc::SiteRemoved, this, &CMapSceneKeeper::OnSiteRemoved);
    connect(&document, &CKorvoDoc::SiteChanged, this, &CMapSceneKeeper::OnSiteChanged);
    connect(&document, &CKorvoDoc::SiteFiled, this,
            [this](CCategory*, CSite* site) { OnSiteChanged(site, nullptr); });
    connect(&document, &CKorvoDoc::WordChanged, this, [this](CWordEntry* word) {
        if (word)
            m_scene->UpdateWord(*word);
        Touched();
    });
    connect(&document, &CKorvoDoc::CategoriesChanged, this, [this] {
        m_scene->UpdateCategories(m_document.CategoryTree());
        Touched();
    });
    connect(&document, &CKorvoDoc::StoreChanged, this, &CMapSceneKeeper::Reset);
}

CMapSceneKeeper::~CMapSceneKeeper() = default;

void CMapSceneKeeper::Touched() {
    ++m_version;
    emit Changed();
}

std::shared_ptr<const CMapScene> CMapSceneKeeper::Snapshot() {
    if (!m_snapshot || m_snapshotVersion != m_version) {
        m_snapshot = std::make_shared<const CMapScene>(*m_scene);
        m_snapshotVersion = m_version;
    }
    return m_snapshot;
}

void CMapSceneKeeper::Reset() {
    // Sizes measured on the old scene name slots that mean nothing now.
    m_pendingSizes.clear();
    m_nextSize = 0;
    m_scene->Reset(m_document.Database(), m_document.CategoryTree());
    Touched();
}

void CMapSceneKeeper::OnSiteAdded(CSite* site) {
    if (!site)
        return;
    m_scene->AddSite(*site);
    Touched();
    emit SiteAdded(site);
}

void CMapSceneKeeper::OnSiteAboutToBeRemoved(CSite* site) {
    if (site && site->m_visited)
        m_scene->RemoveSite(*site);
}

void CMapSceneKeeper::OnSiteRemoved(CSite* site) {
    if (!site)
        return;
    if (m_scene->SlotOf(site) >= 0) {
        // Nobody said it was about to go: its words are gone from it, so read everything.
        Reset();
        return;
    }
    if (!site->m_visited)
        m_scene->UpdateLinkOwner(*site);
    Touched();
}

void CMapSceneKeeper::OnSiteChanged(CSite* site, CSite* owner) {
    if (!site)
        return;
    if (!m_scene->UpdateSite(owner ? *owner : *site)) {
        Reset();
        return;
    }
    Touched();
}

void CMapSceneKeeper::ApplySizes(std::vector<CMeasuredSize> sizes, bool redraw) {
    m_redrawAfterSizes = m_redrawAfterSizes || redraw;
    if (sizes.empty())
        return;
    if (m_nextSize >= m_pendingSizes.size()) {
        m_pendingSizes = std::move(sizes);
        m_nextSize = 0;
    } else {
        m_pendingSizes.insert(m_pendingSizes.end(), sizes.begin(), sizes.end());
    }
    ApplySizeBatch();
}

void CMapSceneKeeper::ApplySizeBatch() {
    QElapsedTimer timer;
    timer.start();
    while (m_nextSize < m_pendingSizes.size()) {
        const CMeasuredSize& size = m_pendingSizes[m_nextSize++];
        // The node must still be the one the paint measured.
        if (CWordEntry* word = m_scene->WordOf(size.node); word && word == size.id) {
            word->m_width = size.width;
            word->m_height = size.height;
        } else if (CSite* site = m_scene->SiteOf(size.node); site && site == size.id) {
            site->m_width = size.width;
            site->m_height = size.height;
        } else {
            continue;
        }
        m_scene->SetNodeSize(size.node, size.width, size.height);
        if ((m_nextSize & 255) == 0 && timer.nsecsElapsed() > kSizeBatchNs) {
            QTimer::singleShot(0, this, &CMapSceneKeeper::ApplySizeBatch);
            return;
        }
    }
    m_pendingSizes.clear();
    m_nextSize = 0;
    // The sizes live in the scene now: copies taken from here on carry them.
    m_snapshot.reset();
    if (m_redrawAfterSizes) {
        m_redrawAfterSizes = false;
        Touched();
    }
}
