#include "views/maplabelplacer.h"

#include "shell/settings.h"

#include <algorithm>
#include <cmath>

CMapLabelPlacer::CMapLabelPlacer(const QRectF& area) : m_area(area.normalized()) {
    m_columns = std::max(1, static_cast<int>(std::ceil(m_area.width() / kCellSize)));
    m_rows = std::max(1, static_cast<int>(std::ceil(m_area.height() / kCellSize)));
    m_cells.resize(static_cast<std::size_t>(m_columns) * static_cast<std::size_t>(m_rows));
}

void CMapLabelPlacer::CellRange(const QRectF& box, int& left, int& top, int& right,
                                int& bottom) const {
    // Boxes beyond the area fall into the edge cells, so overlapping boxes always share a cell.
    auto cell = [](double offset, int count) {
        return std::clamp(static_cast<int>(std::floor(offset / kCellSize)), 0, count - 1);
    };
    left = cell(box.left() - m_area.left(), m_columns);
    right = cell(box.right() - m_area.left(), m_columns);
    top = cell(box.top() - m_area.top(), m_rows);
    bottom = cell(box.bottom() - m_area.top(), m_rows);
}

bool CMapLabelPlacer::IsFree(const QRectF& box) const {
    const QRectF padded = box.adjusted(-kMargin, -kMargin, kMargin, kMargin);
    int left = 0, top = 0, right = 0, bottom = 0;
    CellRange(padded, left, top, right, bottom);
    for (int row = top; row <= bottom; ++row) {
        for (int column = left; column <= right; ++column) {
            for (std::uint32_t index : m_cells[static_cast<std::size_t>(row * m_columns + column)])
                if (m_kept[index].intersects(padded))
                    return false;
        }
    }
    return true;
}

bool CMapLabelPlacer::TryPlace(const QRectF& box) {
    if (box.isEmpty() || !IsFree(box))
        return false;
    const QRectF padded = box.adjusted(-kMargin, -kMargin, kMargin, kMargin);
    const auto index = static_cast<std::uint32_t>(m_kept.size());
    m_kept.push_back(padded);
    int left = 0, top = 0, right = 0, bottom = 0;
    CellRange(padded, left, top, right, bottom);
    for (int row = top; row <= bottom; ++row)
        for (int column = left; column <= right; ++column)
            m_cells[static_cast<std::size_t>(row * m_columns + column)].push_back(index);
    return true;
}

std::vector<CMapScene::CNodeRef>
CMapLabelPlacer::LabelOrder(const CMapScene& scene, std::int32_t viewFlags,
                            const std::vector<CMapScene::CNodeRef>& excluded) {
    using CNodeRef = CMapScene::CNodeRef;
    auto isExcluded = [&](const CNodeRef& node) {
        return !excluded.empty() &&
               std::find(excluded.begin(), excluded.end(), node) != excluded.end();
    };
    auto linkCount = [&](std::uint32_t slot) {
        const auto& links = scene.Site(slot).links;
        return links ? links->size() : std::size_t{0};
    };
    std::vector<std::uint32_t> sites;
    sites.reserve(scene.SiteCount());
    scene.ForEachSite([&](std::uint32_t slot, const CMapScene::CSiteNode& site) {
        if (!site.hidden)
            sites.push_back(slot);
    });
    std::stable_sort(sites.begin(), sites.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return linkCount(a) > linkCount(b); });

    std::vector<CNodeRef> order;
    order.reserve(sites.size());
    for (std::uint32_t slot : sites) {
        const CNodeRef node{CNodeRef::kSite, slot, 0};
        if (!isExcluded(node))
            order.push_back(node);
    }
    if (viewFlags & kViewLinks) {
        for (std::uint32_t slot : sites) {
            const auto& links = scene.Site(slot).links;
            for (std::uint32_t i = 0; links && i < links->size(); ++i) {
                const CNodeRef node{CNodeRef::kLink, slot, i};
                if (!(*links)[i].hidden && !isExcluded(node))
                    order.push_back(node);
            }
        }
    }
    if (viewFlags & kViewWords) {
        std::vector<std::pair<std::size_t, std::uint32_t>> words; // (carrying sites, slot)
        scene.ForEachWord([&](std::uint32_t slot, const CMapScene::CWordNode& word) {
            if (word.sites && scene.IsWordShown(word) &&
                !isExcluded(CNodeRef{CNodeRef::kWord, slot, 0}))
                words.emplace_back(word.sites->size(), slot);
        });
        std::stable_sort(words.begin(), words.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (const auto& [count, slot] : words)
            order.push_back(CNodeRef{CNodeRef::kWord, slot, 0});
    }
    return order;
}
