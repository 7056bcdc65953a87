#pragma once

#include <QPixmap>

// The 19 busy icons of the status bar, 16 x 16: icon 0 is the idle picture, icons 1 to 18 a
// turning wheel. An index outside 0..18 gives icon 0. Needs a QGuiApplication.
constexpr int kBusyIconCount = 19;
QPixmap BusyIcon(int index);
