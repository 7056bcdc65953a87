#pragma once

#include <QRect>
#include <QTransform>

#include <cstdint>

class QColor;
class QPainter;
class QPen;

// Antialiased lines of a cosmetic one-pixel pen written straight into the 32-bit image a
// painter draws on, pixel for pixel as the painter's raster engine draws them (the same
// 26.6 fixed-point walk, end caps, clipping and blending), without a call per pixel.
// Dots and labels still go through the painter; both write to the same image in turn.
class CLineRaster {
public:
    // Whether lines of `pen` on `painter` can be drawn here: a painter on an RGB32 or
    // premultiplied ARGB32 image of pixel ratio 1 with antialiasing, source-over at full opacity
    // and a mapping that only scales and moves; a solid cosmetic pen at most one pixel wide (its
    // colour may be translucent).
    static bool Suits(QPainter& painter, const QPen& pen);

    // Draws into the painter's image (Suits must hold) under its current mapping, only
    // inside `clipWorld` (map units), the rectangle the painter is clipped to.
    CLineRaster(QPainter& painter, const QRectF& clipWorld);

    void SetColor(const QColor& color);
    // The line between two points in map units as painter.drawLine draws it. False, with
    // nothing drawn, for a line shorter than 1/64 pixel (the painter draws a point).
    bool DrawLine(int x1, int y1, int x2, int y2);

private:
    void DrawDeviceLine(double x1, double y1, double x2, double y2);
    bool ClipToDevice(double& x1, double& y1, double& x2, double& y2) const;
    void Blend(int x, int y, unsigned coverage);

    std::uint32_t* m_bits = nullptr;
    int m_pixelsPerLine = 0;
    QRect m_clip;
    double m_xMin = 0, m_xMax = 0, m_yMin = 0, m_yMax = 0; // the device with a margin
    QTransform m_mapping;
    std::uint32_t m_color = 0;
};
