#pragma once

#include <QString>

#include <string>

// The store keeps texts as the bytes pages and files hold. Widgets show them as UTF-8, or as
// Latin-1 when the bytes are not valid UTF-8.
QString ToDisplayText(const std::string& bytes);
// The bytes a widget's text is stored as (UTF-8).
std::string FromDisplayText(const QString& text);
