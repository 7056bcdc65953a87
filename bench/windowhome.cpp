#include "bench/windowhome.h"

#include <QFile>
#include <QSettings>

#include <cstdlib>

void PrepareWindowHome(const QString& path, bool rankCats) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
    setenv("WAYFOLD_DDE_DIR", (path + "/dde").toLocal8Bit().constData(), 1);
    {
        QSettings settings("Quellon", "Wayfold");
        settings.setValue("Wayfold/Rank Cats", rankCats ? 1 : 0);
        settings.setValue("Wayfold/WINL", 0);
        settings.setValue("Wayfold/WINT", 0);
        settings.setValue("Wayfold/WINR", 1280);
        settings.setValue("Wayfold/WINB", 800);
    }
    QFile license(path + "/license.txt");
    if (license.open(QIODevice::WriteOnly))
        license.write("Benchmark\n");
}
