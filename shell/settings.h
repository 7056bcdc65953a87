#pragma once

#include <cstdint>
#include <string>

class QSettings;

// Bits of the view flag word: what a site label shows and which map layers are drawn.
enum EViewFlag : std::int32_t {
    kViewUrl = 0x01,
    kViewTitle = 0x02,
    kViewDate = 0x04,
    kViewAnnotation = 0x08,
    kViewLinks = 0x10,
    kViewWords = 0x20,
    kViewLines = 0x40,
    kViewCategories = 0x80,
    // Map options beyond the classic eight: labels drawn only where they fit, lines drawn
    // translucent. Off by default.
    kViewDeclutter = 0x100,
    kViewSoftLines = 0x200,
};

// Log book order of the visited sites.
enum ESortType : std::int32_t { kSortByTitle = 0, kSortByUrl = 1, kSortByDate = 2 };

// One of the three label fonts.
struct CFontSetting {
    std::string face = "Arial";
    std::int32_t size = -13; // logical font height; negative gives the character height
    std::uint32_t color = 0; // 0x00BBGGRR
    std::int32_t italic = 0;
    std::int32_t weight = 400;
};

// Every persisted setting of the program with its default. Values live in QSettings group
// "Wayfold"; a value that is missing or out of range takes its default (nothing is reported).
class CSettings {
public:
    // `currentDir` is the default of "Home", `defaultBrowserPath` that of "Browser Path" (the
    // desktop's default browser, see FindDefaultBrowserCommand; empty when there is none).
    explicit CSettings(std::string currentDir = {}, std::string defaultBrowserPath = {});

    // Reads every value, in the order of the settings table.
    void Read(QSettings& store);

    // Writers for the moments the values change. Each writes only its own group of values.
    void WriteAtClose(QSettings& store) const; // view flags, toggles, sort, window, panes, Home
    void WriteBrowserAndConnection(QSettings& store) const;
    void WriteColors(QSettings& store) const;
    void WriteFonts(QSettings& store) const;
    void WriteSearchOptions(QSettings& store) const;
    void WriteWeights(QSettings& store) const;
    void WriteOverviewRect(QSettings& store) const;

    // True when the saved window rectangle is usable; otherwise the window opens maximized.
    bool HasWindowRect() const;

    // Browser and connection.
    std::string browserPath;
    std::int32_t browser = 1;
    std::int32_t defaultBrowser = 1;
    std::int32_t proxy = 0;
    std::string httpProxyServer;
    std::string socksProxyServer;
    std::string noProxies;
    std::int32_t httpProxyPort = 80;
    std::int32_t socksProxyPort = 1080;

    // Map colours, 0x00BBGGRR.
    std::uint32_t backgroundColor = 0x000000;
    std::uint32_t outlineColor = 0x006700;
    std::uint32_t linkColor = 0x004500;
    std::uint32_t wordsColor = 0x420000;
    std::uint32_t categoryColor = 0x00FF00;

    // Search options.
    std::int32_t searchAnnotations = 0;
    std::int32_t searchTitles = 0;
    std::int32_t searchWords = 1;

    // Categorizer weights, 0.0 to 1.0 (stored as whole tenths).
    double wordsWeight = 0.5;
    double linksWeight = 0.5;
    double urlsWeight = 0.5;

    std::int32_t rankCats = 1;
    std::int32_t activeMode = 0;
    std::int32_t sortType = kSortByTitle;
    std::int32_t viewFlags = kViewTitle | kViewLinks | kViewWords | kViewLines | kViewCategories;

    CFontSetting urlFont{"Arial", -13, 0x0000FF, 0, 400};
    CFontSetting linkFont{"Arial", -13, 0x670067, 0, 400};
    CFontSetting wordFont{"Arial", -13, 0x420000, 0, 400};

    std::string home;

    // Pane sizes in pixels.
    std::int32_t mapViewWidth = 550;
    std::int32_t mapViewHeight = 651;
    std::int32_t metaViewWidth = 185;
    std::int32_t metaViewHeight = 185;
    std::int32_t treeViewWidth = 185;
    std::int32_t treeViewHeight = 463;

    // Main window rectangle (all 0: never saved).
    std::int32_t winLeft = 0;
    std::int32_t winTop = 0;
    std::int32_t winRight = 0;
    std::int32_t winBottom = 0;

    // Overview rectangle of the overview map.
    std::int32_t viewX = 15;
    std::int32_t viewY = 15;
    std::int32_t viewDX = 150;
    std::int32_t viewDY = 150;

    // The smallest size of the log book and overview panes.
    static constexpr std::int32_t kMinPaneSize = 50;
};
