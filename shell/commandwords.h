#pragma once

#include <string>
#include <vector>

// Splits a command text into words the way a POSIX shell splits a simple command, and does
// nothing else: blanks, tabs and line feeds separate words; '...' keeps everything literally;
// "..." keeps everything except that a backslash before $ ` " \ or a line feed quotes that
// character; outside quotes a backslash quotes the next character (backslash + line feed joins
// lines). Nothing is expanded: $, `, ~, * and ? stay as they are, and ; | & < > are ordinary
// characters. A quote left open runs to the end of the text. An empty text gives no words.
std::vector<std::string> SplitCommandWords(const std::string& text);

// The words as one command text that SplitCommandWords splits back into them: a word made only
// of letters, digits and _ @ % + = : , . / - stays as it is, any other is put in single quotes.
std::string JoinCommandWords(const std::vector<std::string>& words);
