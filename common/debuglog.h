#pragma once

#include <string>

// A switchable trace of a few milestones, appended to "debug.wfx" in the current directory.
// The log is created (and the file opened) by the first toggle and kept until the process
// ends. Not thread-safe: user-interface thread only.

// Creates the log on first use (opening the file for appending, numbering from 1), then flips
// debug mode. When the file cannot be opened it reports "Debug mode on but can't open
// debug.wfx" through ShowFatalError, which ends the process with exit code 1.
void ToggleDebugMode();
bool IsDebugMode();
// Writes "[n] text" when debug mode is on; does nothing otherwise.
void DebugLog(const std::string& text);
