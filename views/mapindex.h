#pragma once

#include <QRectF>

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CSite;
class CSiteDatabase;
class CWordEntry;

// One node of the linkage map as the map draws it while a button is down: a word, a link node
// or a visited site (exactly one of the pointers set), with a key that sorts nodes into drawing
// order (words in map order, then link nodes site by site, then visited sites).
struct CMapNodeRef {
    std::uint64_t order = 0;
    CSite* site = nullptr;
    CWordEntry* word = nullptr;
};

// A grid over the world of the nodes drawn while dragging, so that repainting a small area
// visits only the nodes near it instead of the whole store. Built from the nodes' current
// positions and label sizes; nodes being moved are kept aside and always returned.
// Nodes are not owned; the index is dropped whenever the store changes.
class CMapIndex {
public:
    // Indexes the visible visited sites, with kViewLinks the visible link nodes of visible
    // sites, and with kViewWords the words carried by at least 2 visible sites. `moving` nodes
    // (sites, link nodes or words) are returned by every query.
    CMapIndex(const CSiteDatabase& database, std::int32_t viewFlags,
              const std::unordered_set<const void*>& moving);

    // The nodes whose label rectangle or dot may touch the world rectangle, in drawing order.
    std::vector<CMapNodeRef> NodesNear(const QRectF& world) const;
    int NodeCount() const { return static_cast<int>(m_nodes.size()); }

private:
    static constexpr int kCellSize = 64;
    // Past this many cells a query returns every node (a repaint of most of the map).
    static constexpr std::int64_t kMaxCellsPerQuery = 4096;

    void Add(const CMapNodeRef& node, int x, int y, int width, int height, int diameter,
             bool moving);
    static std::int64_t CellKey(std::int64_t cx, std::int64_t cy);

    std::vector<CMapNodeRef> m_nodes; // in drawing order
    std::vector<std::uint32_t> m_moving;
    std::unordered_map<std::int64_t, std::vector<std::uint32_t>> m_cells;
};
