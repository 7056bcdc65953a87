#include "history/browserprofiles.h"

#include "history/sqlitehandle.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// profiles.ini and Local State are small; a larger file is not read.
constexpr std::uintmax_t kMaxSettingsFileBytes = 4 * 1024 * 1024;

enum class EFamily { Mozilla, Chromium };
enum class EBase { Home, Config };

struct CFolder {
    EBase base;
    const char* path;
};

struct CBrowserKind {
    EFamily family;
    const char* key;
    const char* name;
    std::vector<const char*> aliases;
    std::vector<CFolder> folders; // the browser's own folder, for each way it is installed
};

const std::vector<CBrowserKind>& BrowserKinds() {
    static const std::vector<CBrowserKind> kinds{
        {EFamily::Mozilla,
         "firefox",
         "Firefox",
         {"firefox-esr", "mozilla"},
         {{EBase::Home, ".mozilla/firefox"},
          {EBase::Config, "mozilla/firefox"},
          {EBase::Home, "snap/firefox/common/.mozilla/firefox"},
          {EBase::Home, ".var/app/org.mozilla.firefox/.mozilla/firefox"}}},
        {EFamily::Mozilla,
         "librewolf",
         "LibreWolf",
         {},
         {{EBase::Home, ".librewolf"},
          {EBase::Home, ".var/app/io.gitlab.librewolf-community/.librewolf"}}},
        {EFamily::Mozilla, "waterfox", "Waterfox", {}, {{EBase::Home, ".waterfox"}}},
        {EFamily::Mozilla, "floorp", "Floorp", {}, {{EBase::Home, ".floorp"}}},
        {EFamily::Chromium,
         "chromium",
         "Chromium",
         {"chromium-browser"},
         {{EBase::Config, "chromium"},
          {EBase::Home, "snap/chromium/common/chromium"},
          {EBase::Home, ".var/app/org.chromium.Chromium/config/chromium"}}},
        {EFamily::Chromium,
         "chrome",
         "Google Chrome",
         {"google-chrome", "google-chrome-stable"},
         {{EBase::Config, "google-chrome"},
          {EBase::Home, ".var/app/com.google.Chrome/config/google-chrome"}}},
        {EFamily::Chromium,
         "chrome-beta",
         "Google Chrome Beta",
         {"google-chrome-beta"},
         {{EBase::Config, "google-chrome-beta"}}},
        {EFamily::Chromium,
         "brave",
         "Brave",
         {"brave-browser"},
         {{EBase::Config, "BraveSoftware/Brave-Browser"},
          {EBase::Home, ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser"}}},
        {EFamily::Chromium,
         "edge",
         "Microsoft Edge",
         {"microsoft-edge"},
         {{EBase::Config, "microsoft-edge"}}},
        {EFamily::Chromium, "vivaldi", "Vivaldi", {}, {{EBase::Config, "vivaldi"}}},
        {EFamily::Chromium, "opera", "Opera", {}, {{EBase::Config, "opera"}}},
    };
    return kinds;
}

bool IsRegularFile(const fs::path& path) {
    std::error_code code;
    return fs::is_regular_file(path, code);
}

bool IsFolder(const fs::path& path) {
    std::error_code code;
    return fs::is_directory(path, code);
}

std::string ToLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return text;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool ReadSmallFile(const fs::path& path, std::string& text) {
    std::error_code code;
    if (!fs::is_regular_file(path, code) || fs::file_size(path, code) > kMaxSettingsFileBytes)
        return false;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    text = bytes.str();
    return static_cast<bool>(in) || in.eof();
}

using CIniSections = std::map<std::string, std::map<std::string, std::string>>;

CIniSections ParseIni(const std::string& text) {
    CIniSections sections;
    std::string section;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos && !section.empty())
            sections[section][Trim(line.substr(0, equals))] = Trim(line.substr(equals + 1));
    }
    return sections;
}

void AddProfile(std::vector<CBrowserProfile>& profiles, const CBrowserKind& kind, std::string name,
                const fs::path& history, bool isDefault) {
    if (!IsRegularFile(history))
        return;
    profiles.push_back({kind.name, kind.key, std::move(name), history.string(), isDefault});
}

void FindMozillaProfiles(const CBrowserKind& kind, const fs::path& folder,
                         std::vector<CBrowserProfile>& profiles) {
    std::string text;
    if (!ReadSmallFile(folder / "profiles.ini", text)) {
        // No list: every sub-folder with a history is a profile.
        std::error_code code;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, code))
            AddProfile(profiles, kind, entry.path().filename().string(),
                       entry.path() / "places.sqlite", false);
        return;
    }
    const CIniSections sections = ParseIni(text);
    std::string installDefault;
    for (const auto& [name, values] : sections) {
        if (name.starts_with("Install") && values.contains("Default")) {
            installDefault = values.at("Default");
            break;
        }
    }
    for (const auto& [name, values] : sections) {
        if (!name.starts_with("Profile") || !values.contains("Path"))
            continue;
        const std::string& path = values.at("Path");
        const auto relative = values.find("IsRelative");
        const bool isRelative =
            relative == values.end() ? !fs::path(path).is_absolute() : relative->second != "0";
        const fs::path profileFolder = isRelative ? folder / path : fs::path(path);
        const auto shown = values.find("Name");
        const bool isDefault = installDefault.empty()
                                   ? values.contains("Default") && values.at("Default") == "1"
                                   : installDefault == path;
        AddProfile(profiles, kind, shown == values.end() ? path : shown->second,
                   profileFolder / "places.sqlite", isDefault);
    }
}

// The names the browser gives its profile folders, and the one it used last, from the JSON
// of "Local State" (read with SQLite's JSON functions). Nothing when the file is unreadable.
std::map<std::string, std::string> ChromiumProfileNames(const fs::path& localState,
                                                        std::string& lastUsed) {
    std::map<std::string, std::string> names;
    std::string json;
    sqlite3* memory = nullptr;
    if (!ReadSmallFile(localState, json) ||
        sqlite3_open_v2(":memory:", &memory, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(memory);
        return names;
    }
    const CSqliteDb db(memory);
    const CSqliteStatement statement = PrepareStatement(
        db.get(),
        "SELECT key, json_extract(value, '$.name'), json_extract(?1, '$.profile.last_used') "
        "FROM json_each(?1, '$.profile.info_cache')");
    if (!statement)
        return names;
    sqlite3_bind_text(statement.get(), 1, json.data(), static_cast<int>(json.size()),
                      SQLITE_STATIC);
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        const auto text = [&](int column) -> std::string {
            const unsigned char* value = sqlite3_column_text(statement.get(), column);
            return sqlite3_column_type(statement.get(), column) == SQLITE_TEXT && value
                       ? reinterpret_cast<const char*>(value)
                       : "";
        };
        if (!text(0).empty() && !text(1).empty())
            names[text(0)] = text(1);
        lastUsed = text(2);
    }
    return names;
}

void FindChromiumProfiles(const CBrowserKind& kind, const fs::path& folder,
                          std::vector<CBrowserProfile>& profiles) {
    std::string lastUsed;
    const std::map<std::string, std::string> names =
        ChromiumProfileNames(folder / "Local State", lastUsed);
    if (lastUsed.empty())
        lastUsed = "Default";
    // Some browsers keep a single profile in the folder itself.
    AddProfile(profiles, kind, "Default", folder / "History", true);
    std::error_code code;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, code)) {
        const std::string dir = entry.path().filename().string();
        const auto name = names.find(dir);
        AddProfile(profiles, kind, name == names.end() ? dir : name->second,
                   entry.path() / "History", dir == lastUsed);
    }
}

} // namespace

CProfileRoots CProfileRoots::FromEnvironment() {
    CProfileRoots roots;
    const char* home = std::getenv("HOME");
    roots.home = home ? home : "";
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // XDG: a relative XDG_CONFIG_HOME is to be ignored.
    roots.configHome = config && config[0] == '/' ? config : roots.home + "/.config";
    return roots;
}

std::vector<CBrowserProfile> FindBrowserProfiles(const CProfileRoots& roots) {
    std::vector<CBrowserProfile> found;
    std::set<fs::path> seenFolders;
    for (const CBrowserKind& kind : BrowserKinds()) {
        std::vector<CBrowserProfile> profiles;
        for (const CFolder& place : kind.folders) {
            const std::string& base = place.base == EBase::Home ? roots.home : roots.configHome;
            if (base.empty())
                continue;
            std::error_code code;
            const fs::path folder = fs::weakly_canonical(fs::path(base) / place.path, code);
            if (code || !IsFolder(folder) || !seenFolders.insert(folder).second)
                continue;
            if (kind.family == EFamily::Mozilla)
                FindMozillaProfiles(kind, folder, profiles);
            else
                FindChromiumProfiles(kind, folder, profiles);
        }
        std::stable_sort(profiles.begin(), profiles.end(),
                         [](const CBrowserProfile& a, const CBrowserProfile& b) {
                             return a.isDefault != b.isDefault ? a.isDefault
                                                               : a.profile < b.profile;
                         });
        found.insert(found.end(), profiles.begin(), profiles.end());
    }
    return found;
}

std::vector<std::string> KnownBrowserKeys() {
    std::vector<std::string> keys;
    for (const CBrowserKind& kind : BrowserKinds())
        keys.emplace_back(kind.key);
    return keys;
}

bool ResolveHistorySource(const std::string& word, const std::vector<CBrowserProfile>& profiles,
                          CBrowserProfile& source, std::string& error) {
    std::error_code code;
    fs::path path(word);
    if (IsFolder(path)) {
        for (const char* name : {"places.sqlite", "History"}) {
            if (IsRegularFile(path / name)) {
                path /= name;
                break;
            }
        }
    }
    if (IsRegularFile(path)) {
        source = {};
        source.historyFile = fs::absolute(path, code).string();
        source.profile = source.historyFile;
        return true;
    }
    const std::string wanted = ToLower(word);
    for (const CBrowserKind& kind : BrowserKinds()) {
        if (wanted != kind.key &&
            std::find(kind.aliases.begin(), kind.aliases.end(), wanted) == kind.aliases.end())
            continue;
        // Profiles come default first.
        for (const CBrowserProfile& profile : profiles) {
            if (profile.key == kind.key) {
                source = profile;
                return true;
            }
        }
        error = std::string("No history of ") + kind.name + " was found.";
        return false;
    }
    std::string known;
    for (const std::string& key : KnownBrowserKeys())
        known += (known.empty() ? "" : ", ") + key;
    error = word + " is neither a history file nor a browser Wayfold knows (" + known + ").";
    return false;
}
