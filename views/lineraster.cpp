#include "views/lineraster.h"

#include <QColor>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPen>

#include <emmintrin.h>

#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

// Each of the four 8-bit channels of x times a / 255, rounded as the raster engine does.
inline std::uint32_t ByteMul(std::uint32_t x, std::uint32_t a) {
    std::uint32_t t = (x & 0xff00ff) * a;
    t = (t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8;
    t &= 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080);
    x &= 0xff00ff00;
    return x | t;
}

// Blends the premultiplied line colour (as 16-bit lanes) into two pixels with coverages near
// and far, each pixel as src + ByteMul(pixel, 255 - alpha of src) with src = ByteMul(colour,
// coverage): the raster engine's source-over blend of a solid colour at a constant alpha. No
// channel sum passes 255, so lanes give the same bytes as the packed arithmetic.
inline void BlendPair(std::uint32_t* nearPixel, std::uint32_t* farPixel, unsigned nearCoverage,
                      unsigned farCoverage, __m128i colorLanes) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(0x80);
    auto byteMul = [&](__m128i x, __m128i a) {
        __m128i t = _mm_mullo_epi16(x, a);
        t = _mm_add_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), bias);
        return _mm_srli_epi16(t, 8);
    };
    const __m128i dest =
        _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(*nearPixel)),
                                             _mm_cvtsi32_si128(static_cast<int>(*farPixel))),
                          zero);
    const __m128i coverage = _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<short>(nearCoverage)),
                                                _mm_set1_epi16(static_cast<short>(farCoverage)));
    const __m128i source = byteMul(colorLanes, coverage);
    // The alpha lane (the fourth of each pixel) spread over the pixel's four lanes.
    const __m128i sourceAlpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(source, 0xFF), 0xFF);
    const __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(255), sourceAlpha);
    const __m128i sum = _mm_add_epi16(source, byteMul(dest, inverse));
    const __m128i packed = _mm_packus_epi16(sum, sum);
    *nearPixel = static_cast<std::uint32_t>(_mm_cvtsi128_si32(packed));
    *farPixel = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(packed, 4)));
}

inline int FixedDiv16(int x, int y) {
    if (std::abs(x) > 0x7fff)
        return static_cast<int>(static_cast<long long>(x) * (1 << 16) / y);
    return x * (1 << 16) / y;
}

// Pixels of a line's middle looked at together, to step over or blend without tests.
constexpr int kSpan = 32;

inline int ToFixed26Dot6(double value) {
    return static_cast<int>(value * 64.);
}

// The device rectangle of a clip given in map units, rounded as the raster engine rounds it.
QRect DeviceClip(const QRectF& clipWorld, const QTransform& mapping) {
    const QRectF mapped = mapping.mapRect(clipWorld.normalized());
    const int x1 = qRound(mapped.left());
    const int y1 = qRound(mapped.top());
    const int x2 = qRound(mapped.right());
    const int y2 = qRound(mapped.bottom());
    return QRect(x1, y1, x2 - x1, y2 - y1);
}

} // namespace

bool CLineRaster::Suits(QPainter& painter, const QPen& pen) {
    QPaintDevice* device = painter.device();
    if (!device || device->devType() != QInternal::Image || !painter.paintEngine() ||
        painter.paintEngine()->type() != QPaintEngine::Raster || device->devicePixelRatio() != 1)
        return false;
    const auto* image = static_cast<const QImage*>(device);
    if (image->format() != QImage::Format_RGB32 &&
        image->format() != QImage::Format_ARGB32_Premultiplied)
        return false;
    return (painter.renderHints() & QPainter::Antialiasing) &&
           painter.compositionMode() == QPainter::CompositionMode_SourceOver &&
           painter.opacity() == 1.0 && painter.combinedTransform().type() <= QTransform::TxScale &&
           pen.isCosmetic() && pen.widthF() <= 1.0 && pen.style() == Qt::SolidLine &&
           pen.brush().style() == Qt::SolidPattern;
}

CLineRaster::CLineRaster(QPainter& painter, const QRectF& clipWorld)
    : m_mapping(painter.combinedTransform()) {
    auto* image = static_cast<QImage*>(painter.device());
    // The painter already holds the image's own pixels; constBits does not detach them.
    m_bits = reinterpret_cast<std::uint32_t*>(const_cast<uchar*>(image->constBits()));
    m_pixelsPerLine = static_cast<int>(image->bytesPerLine() / 4);
    m_clip = DeviceClip(clipWorld, m_mapping) & image->rect();
    m_xMin = -1.0;
    m_xMax = image->width() + 1.0;
    m_yMin = -1.0;
    m_yMax = image->height() + 1.0;
}

void CLineRaster::SetColor(const QColor& color) {
    m_color = qPremultiply(color.rgba());
}

bool CLineRaster::DrawLine(int x1, int y1, int x2, int y2) {
    const QPointF from = m_mapping.map(QPointF(x1, y1));
    const QPointF to = m_mapping.map(QPointF(x2, y2));
    if (ToFixed26Dot6(from.x()) == ToFixed26Dot6(to.x()) &&
        ToFixed26Dot6(from.y()) == ToFixed26Dot6(to.y()))
        return false;
    if (!m_clip.isEmpty())
        DrawDeviceLine(from.x(), from.y(), to.x(), to.y());
    return true;
}

bool CLineRaster::ClipToDevice(double& x1, double& y1, double& x2, double& y2) const {
    // True when nothing of the line is left. The cut ends move along the line in floating
    // point, as the raster engine cuts lines before walking them.
    if (x1 < m_xMin) {
        if (x2 <= m_xMin)
            return true;
        y1 += (y2 - y1) / (x2 - x1) * (m_xMin - x1);
        x1 = m_xMin;
    } else if (x1 > m_xMax) {
        if (x2 >= m_xMax)
            return true;
        y1 += (y2 - y1) / (x2 - x1) * (m_xMax - x1);
        x1 = m_xMax;
    }
    if (x2 < m_xMin) {
        y2 += (y2 - y1) / (x2 - x1) * (m_xMin - x2);
        x2 = m_xMin;
    } else if (x2 > m_xMax) {
        y2 += (y2 - y1) / (x2 - x1) * (m_xMax - x2);
        x2 = m_xMax;
    }
    if (y1 < m_yMin) {
        if (y2 <= m_yMin)
            return true;
        x1 += (x2 - x1) / (y2 - y1) * (m_yMin - y1);
        y1 = m_yMin;
    } else if (y1 > m_yMax) {
        if (y2 >= m_yMax)
            return true;
        x1 += (x2 - x1) / (y2 - y1) * (m_yMax - y1);
        y1 = m_yMax;
    }
    if (y2 < m_yMin) {
        x2 += (x2 - x1) / (y2 - y1) * (m_yMin - y2);
        y2 = m_yMin;
    } else if (y2 > m_yMax) {
        x2 += (x2 - x1) / (y2 - y1) * (m_yMax - y2);
        y2 = m_yMax;
    }
    return false;
}

inline void CLineRaster::Blend(int x, int y, unsigned coverage) {
    if (x < m_clip.left() || x > m_clip.right() || y < m_clip.top() || y > m_clip.bottom())
        return;
    std::uint32_t& pixel = m_bits[static_cast<std::ptrdiff_t>(y) * m_pixelsPerLine + x];
    const std::uint32_t color = ByteMul(m_color, coverage);
    pixel = color + ByteMul(pixel, 255 - (color >> 24));
}

void CLineRaster::DrawDeviceLine(double rx1, double ry1, double rx2, double ry2) {
    if (ClipToDevice(rx1, ry1, rx2, ry2))
        return;
    int x1 = ToFixed26Dot6(rx1);
    int y1 = ToFixed26Dot6(ry1);
    int x2 = ToFixed26Dot6(rx2);
    int y2 = ToFixed26Dot6(ry2);
    const bool steep = std::abs(x2 - x1) < std::abs(y2 - y1);
    // Walk along the major axis `a` one pixel at a time; the minor coordinate `b` (16.16)
    // splits each step's coverage between two neighbouring pixels.
    int a1 = steep ? y1 : x1;
    int a2 = steep ? y2 : x2;
    int b1 = steep ? x1 : y1;
    int b2 = steep ? x2 : y2;
    if (a1 == a2)
        return;
    const int increment = FixedDiv16(b2 - b1, a2 - a1);
    if (a1 > a2) {
        std::swap(a1, a2);
        std::swap(b1, b2);
    }
    int b = (b1 - 32) * (1 << 10);
    b -= (((a1 & 63) - 32) * increment) >> 6;
    // Square caps: half a pixel more at both ends.
    a1 -= 32;
    b -= increment >> 1;
    a2 += 32;

    int a = a1 >> 6;
    const int aEnd = a2 >> 6;
    int alphaStart = 0;
    int alphaEnd = 0;
    if (a == aEnd) {
        alphaStart = a2 - a1;
    } else {
        alphaStart = 64 - (a1 & 63);
        alphaEnd = a2 & 63;
    }
    auto plot = [&](unsigned weight64) {
        const unsigned alpha = static_cast<std::uint8_t>(b >> 8);
        const int minor = b >> 16;
        const unsigned near = (255 - alpha) * weight64 >> 6;
        const unsigned far = alpha * weight64 >> 6;
        if (steep) {
            Blend(minor, a, near);
            Blend(minor + 1, a, far);
        } else {
            Blend(a, minor, near);
            Blend(a, minor + 1, far);
        }
    };
    plot(static_cast<unsigned>(alphaStart));
    b += increment;
    ++a;
    // The middle of the line, full weight, a span at a time: a span outside the clip is
    // stepped over, one inside it is blended without a test per pixel, one across its edge
    // pixel by pixel. The walk's arithmetic is the same whichever way a step is taken.
    const int clipMajorLow = steep ? m_clip.top() : m_clip.left();
    const int clipMajorHigh = steep ? m_clip.bottom() : m_clip.right();
    const int clipMinorLow = steep ? m_clip.left() : m_clip.top();
    const int clipMinorHigh = steep ? m_clip.right() : m_clip.bottom();
    if (a < clipMajorLow) {
        const int skipped = std::min(clipMajorLow, aEnd) - a;
        b += skipped * increment;
        a += skipped;
    }
    const int visibleEnd = std::min(aEnd, clipMajorHigh + 1);
    const __m128i colorLanes =
        _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(m_color)), _mm_setzero_si128());
    const std::ptrdiff_t farStep = steep ? 1 : m_pixelsPerLine;
    while (a < visibleEnd) {
        const int span = std::min(kSpan, visibleEnd - a);
        const int lastB = b + (span - 1) * increment;
        const int minorLow = std::min(b, lastB) >> 16;
        const int minorHigh = (std::max(b, lastB) >> 16) + 1;
        if (minorHigh < clipMinorLow || minorLow > clipMinorHigh) {
            b += span * increment;
            a += span;
        } else if (minorLow >= clipMinorLow && minorHigh <= clipMinorHigh) {
            for (const int spanEnd = a + span; a < spanEnd; ++a, b += increment) {
                const unsigned alpha = static_cast<std::uint8_t>(b >> 8);
                const int minor = b >> 16;
                std::uint32_t* nearPixel =
                    steep ? m_bits + static_cast<std::ptrdiff_t>(a) * m_pixelsPerLine + minor
                          : m_bits + static_cast<std::ptrdiff_t>(minor) * m_pixelsPerLine + a;
                BlendPair(nearPixel, nearPixel + farStep, 255 - alpha, alpha, colorLanes);
            }
        } else {
            for (const int spanEnd = a + span; a < spanEnd; ++a, b += increment)
                plot(64);
        }
    }
    if (a < aEnd) {
        b += (aEnd - a) * increment;
        a = aEnd;
    }
    if (alphaEnd)
        plot(static_cast<unsigned>(alphaEnd));
}
