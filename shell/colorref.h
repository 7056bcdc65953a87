#pragma once

#include <QColor>

#include <cstdint>

// Colours are kept as 0x00BBGGRR values (settings, store); widgets take QColor.
QColor ColorFromRef(std::uint32_t colorRef);
std::uint32_t RefFromColor(const QColor& color);
