#include "shell/defaultbrowser.h"

#include "shell/commandwords.h"
#include "shell/programstart.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <vector>

namespace {

const char* const kHttpHandlerKey = "x-scheme-handler/http";
// A line longer than this is no setting we read.
constexpr size_t kMaxLineLength = 8191;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::string> SplitList(const std::string& text, char separator) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            items.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

// An XDG base folder: the variable when it holds an absolute path, else the fallback.
std::string BaseFolder(const char* variable, const std::string& fallback) {
    const std::string value = Environment(variable);
    return !value.empty() && value[0] == '/' ? value : fallback;
}

std::vector<std::string> BaseFolders(const char* variable, const std::string& fallback) {
    std::vector<std::string> folders;
    for (const std::string& folder : SplitList(Environment(variable), ':'))
        if (folder[0] == '/')
            folders.push_back(folder);
    return folders.empty() ? SplitList(fallback, ':') : folders;
}

// The value of `key` in `group` of an INI-style file (mimeapps.list, a desktop entry);
// std::nullopt when the file, the group or the key is missing.
std::optional<std::string> ReadEntry(const std::string& path, const std::string& group,
                                     const std::string& key) {
    std::ifstream file(path);
    std::string line;
    bool inGroup = false;
    while (std::getline(file, line)) {
        if (line.size() > kMaxLineLength)
            continue;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inGroup = line == "[" + group + "]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inGroup || equals == std::string::npos)
            continue;
        std::string name = line.substr(0, equals);
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
            name.pop_back();
        if (name != key)
            continue;
        size_t start = equals + 1;
        while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start])))
            ++start;
        return line.substr(start);
    }
    return std::nullopt;
}

// The mimeapps.list files in the order their settings count: the user's before the system's,
// a desktop's own list before the shared one.
std::vector<std::string> MimeappsLists() {
    const std::string home = Environment("HOME");
    std::vector<std::string> configFolders{BaseFolder("XDG_CONFIG_HOME", home + "/.config")};
    for (const std::string& folder : BaseFolders("XDG_CONFIG_DIRS", "/etc/xdg"))
        configFolders.push_back(folder);
    std::vector<std::string> dataFolders{BaseFolder("XDG_DATA_HOME", home + "/.local/share") +
                                         "/applications"};
    for (const std::string& folder : BaseFolders("XDG_DATA_DIRS", "/usr/local/share:/usr/share"))
        dataFolders.push_back(folder + "/applications");

    std::vector<std::string> desktops;
    for (std::string desktop : SplitList(Environment("XDG_CURRENT_DESKTOP"), ':')) {
        std::transform(desktop.begin(), desktop.end(), desktop.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        desktops.push_back(desktop);
    }
    std::vector<std::string> lists;
    for (const auto* folders : {&configFolders, &dataFolders}) {
        for (const std::string& folder : *folders) {
            for (const std::string& desktop : desktops)
                lists.push_back(folder + "/" + desktop + "-mimeapps.list");
            lists.push_back(folder + "/mimeapps.list");
        }
    }
    return lists;
}

std::optional<std::string> FindDesktopEntry(const std::string& id) {
    if (id.find('/') != std::string::npos || id == "." || id == "..")
        return std::nullopt;
    const std::string home = Environment("HOME");
    std::vector<std::string> folders{BaseFolder("XDG_DATA_HOME", home + "/.local/share")};
    for (const std::string& folder : BaseFolders("XDG_DATA_DIRS", "/usr/local/share:/usr/share"))
        folders.push_back(folder);
    for (const std::string& folder : folders) {
        const std::string path = folder + "/applications/" + id;
        if (std::ifstream(path).good())
            return path;
    }
    return std::nullopt;
}

// A desktop entry's Exec value with its string escapes (\s \n \t \r \\) undone; the quoting
// rules that apply after them split like a shell's.
std::string UnescapeDesktopString(const std::string& value) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char next = value[++i];
        switch (next) {
        case 's':
            text += ' ';
            break;
        case 'n':
            text += '\n';
            break;
        case 't':
            text += '\t';
            break;
        case 'r':
            text += '\r';
            break;
        case '\\':
            text += '\\';
            break;
        default:
            text += '\\';
            text += next;
        }
    }
    return text;
}

// The command of a desktop entry: its Exec words without the placeholders for files and URLs
// (%u, %U, ...) and Flatpak's @@ markers, the program resolved to its full path. Empty when
// the entry is hidden, has no Exec or names a program that cannot be found.
std::string CommandOfDesktopEntry(const std::string& path) {
    if (ReadEntry(path, "Desktop Entry", "Hidden").value_or("") == "true")
        return {};
    const std::optional<std::string> exec = ReadEntry(path, "Desktop Entry", "Exec");
    if (!exec)
        return {};
    std::vector<std::string> words;
    for (std::string word : SplitCommandWords(UnescapeDesktopString(*exec))) {
        if ((word.size() == 2 && word[0] == '%' && word[1] != '%') || word.rfind("@@", 0) == 0)
            continue;
        for (size_t at = word.find("%%"); at != std::string::npos; at = word.find("%%", at + 1))
            word.erase(at, 1);
        words.push_back(std::move(word));
    }
    std::string program;
    if (words.empty() || ResolveProgram(words[0], program) != kLaunchStarted)
        return {};
    words[0] = program;
    return JoinCommandWords(words);
}

std::string CommandOfMimeappsDefault() {
    for (const std::string& list : MimeappsLists()) {
        const std::optional<std::string> ids =
            ReadEntry(list, "Default Applications", kHttpHandlerKey);
        if (!ids)
            continue;
        for (const std::string& id : SplitList(*ids, ';')) {
            const std::optional<std::string> entry = FindDesktopEntry(id);
            if (!entry)
                continue;
            std::string command = CommandOfDesktopEntry(*entry);
            if (!command.empty())
                return command;
        }
    }
    return {};
}

} // namespace

std::string FindDefaultBrowserCommand() {
    std::string command = CommandOfMimeappsDefault();
    if (!command.empty())
        return command;
    std::string program;
    if (ResolveProgram("x-www-browser", program) == kLaunchStarted)
        return JoinCommandWords({program});
    return {};
}
