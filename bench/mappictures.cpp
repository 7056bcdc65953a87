// Draws the pictures of the README and the manual: one generated store the size of about a
// hundred browsed pages (100 visited sites, 8,700 link nodes, some 16,000 words), its map
// relaxed as the program relaxes it, drawn with the classic look and with "Light Colours",
// "Declutter Labels" and "Soft Lines", over the whole world and closer in.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench/wayfold-map-pictures docs/pictures
#include "bench/syntheticstore.h"
#include "model/categorytree.h"
#include "model/maprelaxation.h"
#include "model/sitedatabase.h"
#include "shell/displaysettings.h"
#include "shell/drawingobjects.h"
#include "shell/settings.h"
#include "views/maprenderer.h"
#include "views/mapscene.h"

#include <QApplication>
#include <QDir>
#include <QImage>

#include <cstdio>
#include <memory>

namespace {

constexpr int kRelaxationPasses = 100; // as "Run Relaxation Exercises"
const QSize kPictureSize(800, 500);

CStoreShape HundredPages() {
    CStoreShape shape;
    shape.sites = 100;
    shape.linksPerSite = 87;
    shape.wordsPerSite = 160;
    shape.vocabulary = 16000;
    shape.categories = 10;
    shape.sitesPerCategory = 8;
    shape.wordsPerCategory = 5;
    return shape;
}

bool Save(const QImage& image, const QDir& folder, const char* name) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    // A palette of 256 colours keeps the files small in the repository.
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::AvoidDither);
    if (!indexed.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    CSyntheticStore store(HundredPages());
    for (int pass = 0; pass < kRelaxationPasses; ++pass)
        RelaxMap(store.Database());

    CSettings classic;
    const CDrawingObjects classicObjects(classic);
    CSettings light;
    light.viewFlags |= kViewDeclutter | kViewSoftLines;
    CDisplaySettings lightDisplay(light, {}, {}, nullptr);
    lightDisplay.ApplyPalette(CDisplaySettings::Palette(kLightPalette));

    auto draw = [&](const CDrawingObjects& objects, std::int32_t flags, const CRect& world) {
        // A first paint measures the labels, as the maps' first picture does.
        CMapRenderer(store.Database(), &store.Categories(), objects, flags)
            .RenderImage(world, kPictureSize);
        CMapRenderer renderer(store.Database(), &store.Categories(), objects, flags);
        return renderer.RenderImage(world, kPictureSize);
    };
    const CRect whole{0, 0, 2000, 2000};
    const CRect closer{700, 700, 1300, 1300};
    const bool saved =
        Save(draw(classicObjects, classic.viewFlags, whole), folder, "map-classic.png") &&
        Save(draw(lightDisplay.DrawingObjects(), light.viewFlags, whole), folder,
             "map-options.png") &&
        Save(draw(classicObjects, classic.viewFlags, closer), folder, "map-classic-closer.png") &&
        Save(draw(lightDisplay.DrawingObjects(), light.viewFlags, closer), folder,
             "map-options-closer.png");
    return saved ? 0 : 1;
}
