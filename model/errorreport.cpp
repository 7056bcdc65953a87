#include "model/errorreport.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {
ErrorHandler& CurrentHandler() {
    static ErrorHandler handler;
    return handler;
}

void Report(const std::string& text, bool fatal) {
    if (CurrentHandler()) {
        CurrentHandler()(text, fatal);
    } else {
        std::fprintf(stderr, "Wayfold: %s\n", text.c_str());
    }
}
} // namespace

ErrorHandler SetErrorHandler(ErrorHandler handler) {
    return std::exchange(CurrentHandler(), std::move(handler));
}

void ShowError(const std::string& text) {
    Report(text, false);
}

void ShowFatalError(const std::string& text) {
    Report(text, true);
    std::exit(1);
}
