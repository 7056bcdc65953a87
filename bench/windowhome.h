#pragma once

#include <QString>

// Makes `path` the home of a Wayfold started by a benchmark: settings and the DDE folder live
// there, the window opens at 1280 x 800, "Rank Cats" is as given and a license.txt is present.
void PrepareWindowHome(const QString& path, bool rankCats);
