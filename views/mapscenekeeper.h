#pragma once

#include "views/mapscene.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <vector>

class CKorvoDoc;
class CSite;
struct CMeasuredSize;

// Keeps the maps' scene in step with the store, on the window's thread, by following the
// document's change notices; each notice costs what it changed, not what the store holds
// (only a store-wide change reads the whole store again). The two maps draw copies of it
// (Snapshot) and find nodes in it.
class CMapSceneKeeper : public QObject {
    Q_OBJECT
public:
    // Reads the document's store once; the document is not owned and must outlive the keeper.
    explicit CMapSceneKeeper(CKorvoDoc& document, QObject* parent = nullptr);
    ~CMapSceneKeeper() override;

    // The kept scene, for finding nodes and drawing on the window's thread.
    const CMapScene& Scene() const { return *m_scene; }
    std::shared_ptr<const CMapScene> SharedScene() const { return m_scene; }
    // A copy for drawing on any thread; the same copy while nothing changed. Copies must be
    // let go of on the window's thread (see CSharedChunks).
    std::shared_ptr<const CMapScene> Snapshot();
    // Grows with every change of the scene.
    std::uint64_t Version() const { return m_version; }

    // Label sizes a paint measured: written into the store's nodes that still exist and into the
    // scene, a batch at a time so the window stays responsive. With `redraw` (a picture that
    // culled a node by a size too small), Changed() follows once they are written.
    void ApplySizes(std::vector<CMeasuredSize> sizes, bool redraw = false);

    // Reads the whole store again (the document's StoreChanged does this too).
    void Reset();

signals:
    // Anything the maps draw may have changed.
    void Changed();
    // A visited site was added (already in the scene), for a quick drawing over the pictures.
    void SiteAdded(CSite* site);

private:
    void OnSiteAdded(CSite* site);
    void OnSiteAboutToBeRemoved(CSite* site);
    void OnSiteRemoved(CSite* site);
    void OnSiteChanged(CSite* site, CSite* owner);
    void Touched();
    void ApplySizeBatch();

    CKorvoDoc& m_document;
    std::shared_ptr<CMapScene> m_scene;
    std::shared_ptr<const CMapScene> m_snapshot;
    std::uint64_t m_version = 1;
    std::uint64_t m_snapshotVersion = 0;
    std::vector<CMeasuredSize> m_pendingSizes;
    std::size_t m_nextSize = 0;
    bool m_redrawAfterSizes = false;
};
