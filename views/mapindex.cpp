#include "views/mapindex.h"

#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/settings.h"
#include "views/maprenderer.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint64_t kWordLayer = 0;
constexpr std::uint64_t kLinkLayer = 1;
constexpr std::uint64_t kSiteLayer = 2;

std::uint64_t OrderKey(std::uint64_t layer, std::uint64_t major, std::uint64_t minor) {
    return (layer << 60) | ((major & 0xFFFFFFFFull) << 24) | (minor & 0xFFFFFFull);
}

std::int64_t CellOf(double coordinate, int cellSize) {
    return static_cast<std::int64_t>(std::floor(coordinate / cellSize));
}

} // namespace

std::int64_t CMapIndex::CellKey(std::int64_t cx, std::int64_t cy) {
    return (cx << 32) ^ (cy & 0xFFFFFFFFll);
}

CMapIndex::CMapIndex(const CSiteDatabase& database, std::int32_t viewFlags,
                     const std::unordered_set<const void*>& moving) {
    if (viewFlags & kViewWords) {
        std::uint64_t i = 0;
        for (const auto& [text, word] : database.Words()) {
            ++i;
            if (word && CMapRenderer::IsWordShown(*word))
                Add(CMapNodeRef{OrderKey(kWordLayer, i, 0), nullptr, word.get()}, word->m_x,
                    word->m_y, word->m_width, word->m_height, CWordEntry::kDiameter,
                    moving.count(word.get()) != 0);
        }
    }
    const auto& sites = database.Sites();
    if (viewFlags & kViewLinks) {
        for (std::size_t i = 0; i < sites.size(); ++i) {
            const CSite* owner = sites[i].get();
            if (!owner || owner->m_hidden)
                continue;
            for (std::size_t j = 0; j < owner->m_links.size(); ++j) {
                CSite* link = owner->m_links[j].get();
                if (link && !link->m_hidden)
                    Add(CMapNodeRef{OrderKey(kLinkLayer, i, j), link, nullptr}, link->m_x,
                        link->m_y, link->m_width, link->m_height, link->Diameter(),
                        moving.count(link) != 0);
            }
        }
    }
    for (std::size_t i = 0; i < sites.size(); ++i) {
        CSite* site = sites[i].get();
        if (site && !site->m_hidden)
            Add(CMapNodeRef{OrderKey(kSiteLayer, i, 0), site, nullptr}, site->m_x, site->m_y,
                site->m_width, site->m_height, site->Diameter(), moving.count(site) != 0);
    }
}

void CMapIndex::Add(const CMapNodeRef& node, int x, int y, int width, int height, int diameter,
                    bool moving) {
    const auto index = static_cast<std::uint32_t>(m_nodes.size());
    m_nodes.push_back(node);
    if (moving) {
        m_moving.push_back(index);
        return;
    }
    // The same extent the renderer tests: label rectangle either way round, and the dot.
    const int left = std::min(x, x + width);
    const int right = std::max({x + width, x + diameter});
    const int top = std::min(y, y + height);
    const int bottom = std::max({y + height, y + diameter});
    const std::int64_t cellLeft = CellOf(left, kCellSize);
    const std::int64_t cellRight = CellOf(right, kCellSize);
    const std::int64_t cellTop = CellOf(top, kCellSize);
    const std::int64_t cellBottom = CellOf(bottom, kCellSize);
    if ((cellRight - cellLeft + 1) * (cellBottom - cellTop + 1) > kMaxCellsPerQuery) {
        m_moving.push_back(index); // too large to file: always returned
        return;
    }
    for (std::int64_t cx = cellLeft; cx <= cellRight; ++cx)
        for (std::int64_t cy = cellTop; cy <= cellBottom; ++cy)
            m_cells[CellKey(cx, cy)].push_back(index);
}

std::vector<CMapNodeRef> CMapIndex::NodesNear(const QRectF& world) const {
    const QRectF area = world.normalized();
    const std::int64_t cellLeft = CellOf(area.left(), kCellSize);
    const std::int64_t cellRight = CellOf(area.right(), kCellSize);
    const std::int64_t cellTop = CellOf(area.top(), kCellSize);
    const std::int64_t cellBottom = CellOf(area.bottom(), kCellSize);
    if ((cellRight - cellLeft + 1) * (cellBottom - cellTop + 1) > kMaxCellsPerQuery)
        return m_nodes;

    std::vector<std::uint32_t> found(m_moving);
    for (std::int64_t cx = cellLeft; cx <= cellRight; ++cx) {
        for (std::int64_t cy = cellTop; cy <= cellBottom; ++cy) {
            const auto cell = m_cells.find(CellKey(cx, cy));
            if (cell != m_cells.end())
                found.insert(found.end(), cell->second.begin(), cell->second.end());
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::vector<CMapNodeRef> nodes;
    nodes.reserve(found.size());
    for (std::uint32_t index : found)
        nodes.push_back(m_nodes[index]);
    return nodes;
}
