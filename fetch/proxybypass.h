#pragma once

#include <string_view>

// True when `host` is to be reached without proxy under a bypass list in the classic syntax:
// entries are separated by ';' or white space; '*' in an entry stands for any run of characters
// (none included) and letters compare without regard to case, so "*.example.org" and
// "192.168.*" work; the entry "<local>" stands for every host name without a dot. An empty list
// or an empty host matches nothing.
bool IsBypassedHost(std::string_view host, std::string_view bypassList);
