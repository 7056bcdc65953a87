#pragma once

#include "views/mapscene.h"

#include <QRectF>

#include <cstdint>
#include <vector>

// Decides which labels a decluttered map picture draws: labels are offered in the order of
// LabelOrder, and each is kept only where its box overlaps no box kept before it. Boxes are in
// device pixels; each is kept with a margin, so kept labels never touch. The decision depends on
// nothing but the boxes offered and their order, so every band of a picture that is given the
// same placement draws the same labels.
class CMapLabelPlacer {
public:
    // Labels are placed over `area` (the picture, device pixels); boxes may reach beyond it.
    explicit CMapLabelPlacer(const QRectF& area);

    // True when a box would overlap no kept label.
    bool IsFree(const QRectF& box) const;
    // Keeps the box when it is free; true if it was kept.
    bool TryPlace(const QRectF& box);

    // The nodes whose labels are offered, best first: visible visited sites by their number of
    // links (most first), then the link nodes of the sites in that order, then the shown words
    // by the number of sites that carry them (most first); ties keep the scene's order. Link
    // nodes and words only with their view flags; `excluded` nodes are left out.
    static std::vector<CMapScene::CNodeRef>
    LabelOrder(const CMapScene& scene, std::int32_t viewFlags,
               const std::vector<CMapScene::CNodeRef>& excluded);

private:
    static constexpr double kCellSize = 64.0;
    static constexpr double kMargin = 1.0; // pixels kept free around each label

    // The cell range a box covers, clamped to the grid.
    void CellRange(const QRectF& box, int& left, int& top, int& right, int& bottom) const;

    QRectF m_area;
    int m_columns = 1;
    int m_rows = 1;
    std::vector<QRectF> m_kept;                      // padded boxes
    std::vector<std::vector<std::uint32_t>> m_cells; // indices into m_kept, row by row
};
