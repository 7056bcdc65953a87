#pragma once

#include <functional>
#include <string>

// The one way the program tells the user about a failure. The GUI installs a handler that
// shows the modal error box; tests install a recorder. Without a handler the text goes to
// standard error.
using ErrorHandler = std::function<void(const std::string& text, bool fatal)>;

// Installs the handler and returns the previous one.
ErrorHandler SetErrorHandler(ErrorHandler handler);

// Reports the text and returns when the user has acknowledged it.
void ShowError(const std::string& text);

// Reports the text, then ends the process with exit code 1.
[[noreturn]] void ShowFatalError(const std::string& text);
