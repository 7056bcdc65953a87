#include "views/lineraster.h"

#include <QImage>
#include <QPainter>
#include <QPen>

#include <gtest/gtest.h>

#include <random>

namespace {

struct CLineCase {
    QRect window;
    QSize size;
    QRect clip; // device pixels
    QImage::Format format;
    int alpha; // of the pen's colour
};

// Each line on its own over a coloured background, drawn by the painter and by the raster
// into two images prepared the same way; the images must be equal byte for byte.
long DifferingLines(const CLineCase& setup, unsigned seed, int count) {
    std::mt19937 random(seed);
    auto coordinate = [&] { return static_cast<int>(random() % 2800) - 400; };
    QPen pen(QColor(200, 40, 90, setup.alpha), 1);
    pen.setCosmetic(true);
    long differing = 0;
    for (int i = 0; i < count; ++i) {
        const int x1 = coordinate(), y1 = coordinate();
        // Every fifth line nearly horizontal, every seventh nearly vertical.
        const int x2 = i % 7 == 0 ? x1 + static_cast<int>(random() % 3) : coordinate();
        const int y2 = i % 5 == 0 ? y1 + static_cast<int>(random() % 3) : coordinate();
        QImage byPainter(setup.size, setup.format);
        byPainter.fill(QColor(16, 32, 48));
        QImage byRaster = byPainter.copy();
        auto prepare = [&](QPainter& painter) {
            painter.setWindow(setup.window);
            painter.setViewport(QRect(QPoint(0, 0), setup.size));
            painter.setClipRect(painter.combinedTransform().inverted().mapRect(QRectF(setup.clip)));
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(pen);
        };
        {
            QPainter painter(&byPainter);
            prepare(painter);
            painter.drawLine(x1, y1, x2, y2);
        }
        {
            QPainter painter(&byRaster);
            prepare(painter);
            EXPECT_TRUE(CLineRaster::Suits(painter, pen));
            CLineRaster raster(painter, painter.clipBoundingRect());
            raster.SetColor(pen.color());
            if (!raster.DrawLine(x1, y1, x2, y2))
                painter.drawLine(x1, y1, x2, y2);
        }
        differing += byPainter == byRaster ? 0 : 1;
    }
    return differing;
}

TEST(LineRaster, SamePixelsAsThePainterForShrunkAndMovedMapsClipsFormatsAndTranslucentPens) {
    const CLineCase cases[] = {
        {QRect(0, 0, 2000, 2000), QSize(400, 250), QRect(0, 0, 400, 250), QImage::Format_RGB32,
         255},
        {QRect(100, 50, 2000, 2000), QSize(320, 200), QRect(61, 27, 150, 101), QImage::Format_RGB32,
         255},
        {QRect(-300, 0, 2600, 1300), QSize(260, 260), QRect(0, 0, 260, 260),
         QImage::Format_ARGB32_Premultiplied, 255},
        // The lower band of a picture drawn in two.
        {QRect(0, 0, 2000, 2000), QSize(400, 301), QRect(0, 150, 400, 151), QImage::Format_RGB32,
         255},
        {QRect(0, 0, 2000, 2000), QSize(400, 250), QRect(0, 0, 400, 250), QImage::Format_RGB32, 96},
        {QRect(-300, 0, 2600, 1300), QSize(260, 260), QRect(0, 0, 260, 260),
         QImage::Format_ARGB32_Premultiplied, 40},
        {QRect(0, 0, 2000, 2000), QSize(400, 301), QRect(0, 150, 400, 151), QImage::Format_RGB32,
         96},
    };
    unsigned seed = 1;
    for (const CLineCase& setup : cases)
        EXPECT_EQ(DifferingLines(setup, seed++, 400), 0) << setup.size.width();
}

TEST(LineRaster, RefusesWhatItCannotDrawTheSame) {
    QImage image(50, 50, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen cosmetic(Qt::red, 1);
    cosmetic.setCosmetic(true);
    EXPECT_TRUE(CLineRaster::Suits(painter, cosmetic));
    EXPECT_FALSE(CLineRaster::Suits(painter, QPen(Qt::red, 1))); // scaled with the map
    QPen dashed = cosmetic;
    dashed.setStyle(Qt::DashLine);
    EXPECT_FALSE(CLineRaster::Suits(painter, dashed));
    painter.rotate(10);
    EXPECT_FALSE(CLineRaster::Suits(painter, cosmetic));
    painter.resetTransform();
    painter.setRenderHint(QPainter::Antialiasing, false);
    EXPECT_FALSE(CLineRaster::Suits(painter, cosmetic));
}

} // namespace
