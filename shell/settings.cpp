#include "shell/settings.h"

#include <cstdint>

#include <QSettings>
#include <QString>

#include <cmath>
#include <utility>

namespace {

constexpr int kMaxTextBytes = 8191;
constexpr int kMaxPaneSize = 30000;

// Keeps the store inside group "Wayfold" for the lifetime of the object.
class CGroup {
public:
    explicit CGroup(QSettings& store) : m_store(store) { m_store.beginGroup("Wayfold"); }
    ~CGroup() { m_store.endGroup(); }
    CGroup(const CGroup&) = delete;
    CGroup& operator=(const CGroup&) = delete;

private:
    QSettings& m_store;
};

bool ReadInt(const QSettings& store, const char* key, qlonglong& out) {
    const QVariant value = store.value(key);
    if (!value.isValid())
        return false;
    bool ok = false;
    out = value.toLongLong(&ok);
    return ok;
}

// Missing, unreadable or out-of-range values leave `field` at its default.
void ReadRange(const QSettings& store, const char* key, std::int32_t& field, qlonglong lo,
               qlonglong hi) {
    qlonglong value = 0;
    if (ReadInt(store, key, value) && value >= lo && value <= hi)
        field = static_cast<std::int32_t>(value);
}

void ReadColor(const QSettings& store, const char* key, std::uint32_t& field) {
    qlonglong value = 0;
    if (ReadInt(store, key, value) && value >= 0 && value <= 0xFFFFFF)
        field = static_cast<std::uint32_t>(value);
}

void ReadTenths(const QSettings& store, const char* key, double& field) {
    qlonglong value = 0;
    if (ReadInt(store, key, value) && value >= 0 && value <= 10)
        field = static_cast<double>(value) / 10.0;
}

// A view value is either 0 or its own bit; it is OR-ed into the word.
void ReadViewBit(const QSettings& store, const char* key, std::int32_t bit, std::int32_t& flags) {
    qlonglong value = 0;
    if (ReadInt(store, key, value) && (value == 0 || value == bit))
        flags = (flags & ~bit) | static_cast<std::int32_t>(value);
}

void ReadText(const QSettings& store, const char* key, std::string& field, bool allowEmpty = true) {
    const QVariant value = store.value(key);
    if (!value.isValid() || !value.canConvert<QString>())
        return;
    QByteArray bytes = value.toString().toUtf8();
    if (bytes.size() > kMaxTextBytes || (!allowEmpty && bytes.isEmpty()))
        return;
    field = bytes.toStdString();
}

void ReadFont(const QSettings& store, const char* prefix, CFontSetting& font) {
    const QString p = QString::fromLatin1(prefix);
    ReadText(store, (p + " Font Face").toLatin1().constData(), font.face, false);
    qlonglong size = 0;
    if (ReadInt(store, (p + " Font Size").toLatin1().constData(), size) && size != 0 &&
        size >= -400 && size <= 400)
        font.size = static_cast<std::int32_t>(size);
    ReadColor(store, (p + " Font Color").toLatin1().constData(), font.color);
    ReadRange(store, (p + " Font Italic").toLatin1().constData(), font.italic, 0, 1);
    ReadRange(store, (p + " Font Weight").toLatin1().constData(), font.weight, 0, 1000);
}

void WriteText(QSettings& store, const char* key, const std::string& text) {
    store.setValue(key, QString::fromStdString(text));
}

void WriteFont(QSettings& store, const char* prefix, const CFontSetting& font) {
    const QString p = QString::fromLatin1(prefix);
    store.setValue(p + " Font Face", QString::fromStdString(font.face));
    store.setValue(p + " Font Size", font.size);
    store.setValue(p + " Font Color", font.color);
    store.setValue(p + " Font Italic", font.italic);
    store.setValue(p + " Font Weight", font.weight);
}

std::int32_t ToTenths(double weight) {
    return static_cast<std::int32_t>(weight * 10.0);
}

struct CViewKey {
    const char* key;
    std::int32_t bit;
};

constexpr CViewKey kViewKeys[] = {
    {"URL View", kViewUrl},
    {"TITLE View", kViewTitle},
    {"DATE View", kViewDate},
    {"ANNO View", kViewAnnotation},
    {"LINK View", kViewLinks},
    {"WORDS View", kViewWords},
    {"LINES View", kViewLines},
    {"CATS View", kViewCategories},
    {"DECLUTTER View", kViewDeclutter},
    {"SOFT LINES View", kViewSoftLines},
};

} // namespace

CSettings::CSettings(std::string currentDir, std::string defaultBrowserPath)
    : browserPath(std::move(defaultBrowserPath)), home(std::move(currentDir)) {}

void CSettings::Read(QSettings& store) {
    CGroup group(store);
    ReadText(store, "Browser Path", browserPath);
    // Any other choice is kept as stored: the dialog shows it as Opera, and opening a site
    // with it does nothing, until the user picks a browser.
    ReadRange(store, "Browser", browser, INT32_MIN, INT32_MAX);
    ReadRange(store, "Default Browser", defaultBrowser, 0, 1);
    ReadRange(store, "Proxy", proxy, 0, 1);
    ReadText(store, "HTTP Proxy Server", httpProxyServer);
    ReadText(store, "SOCKS Proxy Server", socksProxyServer);
    ReadText(store, "No Proxies", noProxies);
    ReadRange(store, "HTTP Proxy Port", httpProxyPort, 1, 65535);
    ReadRange(store, "SOCKS Proxy Port", socksProxyPort, 1, 65535);

    ReadColor(store, "Background Color", backgroundColor);
    ReadColor(store, "Outline Color", outlineColor);
    ReadColor(store, "Link Color", linkColor);
    ReadColor(store, "Words Color", wordsColor);
    ReadColor(store, "Category Color", categoryColor);

    ReadRange(store, "Search Annotations", searchAnnotations, 0, 1);
    ReadRange(store, "Search Titles", searchTitles, 0, 1);
    ReadRange(store, "Search Words", searchWords, 0, 1);

    ReadTenths(store, "Words Weight", wordsWeight);
    ReadTenths(store, "Links Weight", linksWeight);
    ReadTenths(store, "Urls Weight", urlsWeight);

    ReadRange(store, "Rank Cats", rankCats, 0, 1);
    ReadRange(store, "Active Mode", activeMode, 0, 1);
    ReadRange(store, "Sort Type", sortType, kSortByTitle, kSortByDate);
    for (const CViewKey& view : kViewKeys)
        ReadViewBit(store, view.key, view.bit, viewFlags);

    ReadFont(store, "URL", urlFont);
    ReadFont(store, "Link", linkFont);
    ReadFont(store, "Word", wordFont);

    ReadText(store, "Home", home, false);

    ReadRange(store, "MAPVIEW_WIDTH", mapViewWidth, 0, kMaxPaneSize);
    ReadRange(store, "MAPVIEW_HEIGHT", mapViewHeight, 0, kMaxPaneSize);
    ReadRange(store, "METAVIEW_WIDTH", metaViewWidth, 0, kMaxPaneSize);
    ReadRange(store, "METAVIEW_HEIGHT", metaViewHeight, 0, kMaxPaneSize);
    ReadRange(store, "TREEVIEW_WIDTH", treeViewWidth, 0, kMaxPaneSize);
    ReadRange(store, "TREEVIEW_HEIGHT", treeViewHeight, 0, kMaxPaneSize);
    for (std::int32_t* size : {&metaViewWidth, &metaViewHeight, &treeViewWidth, &treeViewHeight})
        if (*size < kMinPaneSize)
            *size = kMinPaneSize;

    ReadRange(store, "WINL", winLeft, -100000, 100000);
    ReadRange(store, "WINT", winTop, -100000, 100000);
    ReadRange(store, "WINR", winRight, -100000, 100000);
    ReadRange(store, "WINB", winBottom, -100000, 100000);

    ReadRange(store, "View X", viewX, -100000, 100000);
    ReadRange(store, "View Y", viewY, -100000, 100000);
    ReadRange(store, "View DX", viewDX, 1, 100000);
    ReadRange(store, "View DY", viewDY, 1, 100000);
}

void CSettings::WriteAtClose(QSettings& store) const {
    CGroup group(store);
    for (const CViewKey& view : kViewKeys)
        store.setValue(view.key, viewFlags & view.bit);
    store.setValue("Rank Cats", rankCats);
    store.setValue("Active Mode", activeMode);
    store.setValue("Sort Type", sortType);
    store.setValue("WINL", winLeft);
    store.setValue("WINT", winTop);
    store.setValue("WINR", winRight);
    store.setValue("WINB", winBottom);
    store.setValue("MAPVIEW_WIDTH", mapViewWidth);
    store.setValue("MAPVIEW_HEIGHT", mapViewHeight);
    store.setValue("METAVIEW_WIDTH", metaViewWidth);
    store.setValue("METAVIEW_HEIGHT", metaViewHeight);
    store.setValue("TREEVIEW_WIDTH", treeViewWidth);
    store.setValue("TREEVIEW_HEIGHT", treeViewHeight);
    WriteText(store, "Home", home);
}

void CSettings::WriteBrowserAndConnection(QSettings& store) const {
    CGroup group(store);
    WriteText(store, "Browser Path", browserPath);
    store.setValue("Browser", browser);
    store.setValue("Default Browser", defaultBrowser);
    store.setValue("Proxy", proxy);
    WriteText(store, "HTTP Proxy Server", httpProxyServer);
    WriteText(store, "SOCKS Proxy Server", socksProxyServer);
    WriteText(store, "No Proxies", noProxies);
    store.setValue("HTTP Proxy Port", httpProxyPort);
    store.setValue("SOCKS Proxy Port", socksProxyPort);
}

void CSettings::WriteColors(QSettings& store) const {
    CGroup group(store);
    store.setValue("Background Color", backgroundColor);
    store.setValue("Outline Color", outlineColor);
    store.setValue("Link Color", linkColor);
    store.setValue("Words Color", wordsColor);
    store.setValue("Category Color", categoryColor);
}

void CSettings::WriteFonts(QSettings& store) const {
    CGroup group(store);
    WriteFont(store, "URL", urlFont);
    WriteFont(store, "Link", linkFont);
    WriteFont(store, "Word", wordFont);
}

void CSettings::WriteSearchOptions(QSettings& store) const {
    CGroup group(store);
    store.setValue("Search Annotations", searchAnnotations);
    store.setValue("Search Titles", searchTitles);
    store.setValue("Search Words", searchWords);
}

void CSettings::WriteWeights(QSettings& store) const {
    CGroup group(store);
    store.setValue("Words Weight", ToTenths(wordsWeight));
    store.setValue("Links Weight", ToTenths(linksWeight));
    store.setValue("Urls Weight", ToTenths(urlsWeight));
}

void CSettings::WriteOverviewRect(QSettings& store) const {
    CGroup group(store);
    store.setValue("View X", viewX);
    store.setValue("View Y", viewY);
    store.setValue("View DX", viewDX);
    store.setValue("View DY", viewDY);
}

bool CSettings::HasWindowRect() const {
    const auto inRange = [](std::int32_t v) { return v >= 1 && v <= 3000; };
    return inRange(winLeft) && inRange(winRight) && winRight > winLeft && winBottom > winTop;
}
