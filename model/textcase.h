#pragma once

#include <string>
#include <string_view>

// Upper case as the classic C locale knows it: only a-z change; every other byte, including
// bytes 0x80-0xFF, stays as it is. Words are compared in this form everywhere in the store.
std::string ToUpperClassic(std::string_view text);
