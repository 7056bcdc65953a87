#pragma once

#include <string>

// The desktop's default web browser as a "Browser Path" command: the program of the desktop
// entry that the mimeapps.list files name for http links (where xdg-settings and the desktops'
// default-application settings keep it), else Debian's x-www-browser. The program is given
// with its full path and the entry's own arguments, without the entry's placeholders for the
// URL. Empty when neither names a program that can be found. Reads a few small files, as the
// XDG_* variables and $HOME place them; starts nothing.
std::string FindDefaultBrowserCommand();
