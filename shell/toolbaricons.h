#pragma once

#include <QIcon>

#include <cstdint>

// Toolbar pictures drawn in code, 16 x 16. Need a QGuiApplication.
QIcon ViewFlagIcon(std::int32_t viewFlagBit);
QIcon SortIcon(std::int32_t sortType);
QIcon RankCatsIcon();
// The program's window icon: three linked dots on the map colours, 32 x 32.
QIcon ApplicationIcon();
