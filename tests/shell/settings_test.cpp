#include "shell/settings.h"
#include "tests/support/tempdir.h"

#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

#include <string>

namespace {

// A private INI file standing in for the user's settings file.
class SettingsTest : public ::testing::Test {
protected:
    QString IniPath() const { return QString::fromStdString(m_dir.File("Wayfold.conf")); }
    std::unique_ptr<QSettings> Store() const {
        return std::make_unique<QSettings>(IniPath(), QSettings::IniFormat);
    }
    void Put(const char* key, const QVariant& value) {
        auto store = Store();
        store->setValue(QStringLiteral("Wayfold/") + key, value);
    }
    CSettings ReadBack() {
        CSettings settings("/start/dir");
        settings.Read(*Store());
        return settings;
    }
    std::string IniText() const {
        QFile file(IniPath());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll().toStdString();
    }

    CTempDir m_dir;
};

TEST_F(SettingsTest, Settings_EmptyFileGivesEveryDefault) {
    const CSettings s = ReadBack();
    EXPECT_EQ(s.viewFlags, 0xF2);
    EXPECT_EQ(s.activeMode, 0);
    EXPECT_EQ(s.rankCats, 1);
    EXPECT_EQ(s.sortType, 0);
    EXPECT_EQ(s.browserPath, "");
    EXPECT_EQ(s.home, "/start/dir");
    EXPECT_EQ(s.defaultBrowser, 1);
    EXPECT_EQ(s.proxy, 0);
    EXPECT_EQ(s.httpProxyPort, 80);
    EXPECT_EQ(s.socksProxyPort, 1080);
    EXPECT_EQ(s.backgroundColor, 0u);
    EXPECT_EQ(s.outlineColor, 0x006700u);
    EXPECT_EQ(s.linkColor, 0x004500u);
    EXPECT_EQ(s.wordsColor, 0x420000u);
    EXPECT_EQ(s.categoryColor, 0x00FF00u);
    EXPECT_EQ(s.searchWords, 1);
    EXPECT_EQ(s.searchTitles, 0);
    EXPECT_DOUBLE_EQ(s.wordsWeight, 0.5);
    EXPECT_EQ(s.urlFont.face, "Arial");
    EXPECT_EQ(s.urlFont.size, -13);
    EXPECT_EQ(s.urlFont.color, 0x0000FFu);
    EXPECT_EQ(s.linkFont.color, 0x670067u);
    EXPECT_EQ(s.wordFont.color, 0x420000u);
    EXPECT_EQ(s.wordFont.weight, 400);
    EXPECT_EQ(s.mapViewWidth, 550);
    EXPECT_EQ(s.mapViewHeight, 651);
    EXPECT_EQ(s.metaViewWidth, 185);
    EXPECT_EQ(s.treeViewHeight, 463);
    EXPECT_EQ(s.viewX, 15);
    EXPECT_EQ(s.viewDY, 150);
    EXPECT_FALSE(s.HasWindowRect());
}

TEST_F(SettingsTest, Settings_DefaultBrowserPathYieldsToAStoredOne) {
    CSettings fresh("/start/dir", "/usr/bin/firefox-esr");
    fresh.Read(*Store());
    EXPECT_EQ(fresh.browserPath, "/usr/bin/firefox-esr");
    Put("Browser Path", "/start/dir");
    CSettings stored("/start/dir", "/usr/bin/firefox-esr");
    stored.Read(*Store());
    EXPECT_EQ(stored.browserPath, "/start/dir");
}

TEST_F(SettingsTest, Settings_WrittenAtCloseReadBackTheSame) {
    CSettings s("/start/dir");
    s.viewFlags = 0x01 | 0x04 | 0x80 | kViewDeclutter;
    s.rankCats = 0;
    s.activeMode = 1;
    s.sortType = kSortByDate;
    s.winLeft = 10;
    s.winTop = 20;
    s.winRight = 810;
    s.winBottom = 620;
    s.mapViewWidth = 600;
    s.metaViewHeight = 77;
    s.treeViewWidth = 300;
    s.home = "/data/home";
    s.WriteAtClose(*Store());

    const CSettings back = ReadBack();
    EXPECT_EQ(back.viewFlags, 0x185);
    EXPECT_EQ(back.rankCats, 0);
    EXPECT_EQ(back.activeMode, 1);
    EXPECT_EQ(back.sortType, kSortByDate);
    EXPECT_TRUE(back.HasWindowRect());
    EXPECT_EQ(back.winRight, 810);
    EXPECT_EQ(back.winBottom, 620);
    EXPECT_EQ(back.mapViewWidth, 600);
    EXPECT_EQ(back.metaViewHeight, 77);
    EXPECT_EQ(back.treeViewWidth, 300);
    EXPECT_EQ(back.home, "/data/home");

    // Each view value is the flag word masked with its own bit.
    const std::string ini = IniText();
    EXPECT_NE(ini.find("URL%20View=1\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("TITLE%20View=0\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("CATS%20View=128\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("DATE%20View=4\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("DECLUTTER%20View=256\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("SOFT%20LINES%20View=0\n"), std::string::npos) << ini;
}

TEST_F(SettingsTest, Settings_GroupWritersRoundTrip) {
    CSettings s("/start/dir");
    s.browserPath = "/usr/bin/firefox";
    s.browser = 3;
    s.defaultBrowser = 0;
    s.proxy = 1;
    s.httpProxyServer = "proxyhost";
    s.httpProxyPort = 8080;
    s.socksProxyServer = "sockshost";
    s.socksProxyPort = 1081;
    s.noProxies = "localhost;*.lan";
    s.backgroundColor = 0x112233;
    s.categoryColor = 0xABCDEF;
    s.urlFont = {"DejaVu Sans", 20, 0x123456, 1, 700};
    s.searchAnnotations = 1;
    s.searchWords = 0;
    s.wordsWeight = 0.7;
    s.linksWeight = 0.35;
    s.urlsWeight = 1.0;
    s.viewX = -40;
    s.viewDX = 400;
    auto store = Store();
    s.WriteBrowserAndConnection(*store);
    s.WriteColors(*store);
    s.WriteFonts(*store);
    s.WriteSearchOptions(*store);
    s.WriteWeights(*store);
    s.WriteOverviewRect(*store);
    store.reset();

    const CSettings back = ReadBack();
    EXPECT_EQ(back.browserPath, "/usr/bin/firefox");
    EXPECT_EQ(back.browser, 3);
    EXPECT_EQ(back.defaultBrowser, 0);
    EXPECT_EQ(back.proxy, 1);
    EXPECT_EQ(back.httpProxyServer, "proxyhost");
    EXPECT_EQ(back.httpProxyPort, 8080);
    EXPECT_EQ(back.socksProxyServer, "sockshost");
    EXPECT_EQ(back.socksProxyPort, 1081);
    EXPECT_EQ(back.noProxies, "localhost;*.lan");
    EXPECT_EQ(back.backgroundColor, 0x112233u);
    EXPECT_EQ(back.categoryColor, 0xABCDEFu);
    EXPECT_EQ(back.urlFont.face, "DejaVu Sans");
    EXPECT_EQ(back.urlFont.size, 20);
    EXPECT_EQ(back.urlFont.color, 0x123456u);
    EXPECT_EQ(back.urlFont.italic, 1);
    EXPECT_EQ(back.urlFont.weight, 700);
    EXPECT_EQ(back.searchAnnotations, 1);
    EXPECT_EQ(back.searchWords, 0);
    // Weights are kept as whole tenths, truncated.
    EXPECT_DOUBLE_EQ(back.wordsWeight, 0.7);
    EXPECT_DOUBLE_EQ(back.linksWeight, 0.3);
    EXPECT_DOUBLE_EQ(back.urlsWeight, 1.0);
    EXPECT_EQ(back.viewX, -40);
    EXPECT_EQ(back.viewDX, 400);
}

struct CBadValue {
    const char* key;
    QVariant value;
};

TEST_F(SettingsTest, Settings_OutOfRangeValuesFallBackToDefaults) {
    const CBadValue bad[] = {
        {"Sort Type", 7},
        {"URL Font Size", 0},
        {"Link Font Size", 401},
        {"Word Font Size", -500},
        {"TREEVIEW_WIDTH", -5},
        {"MAPVIEW_HEIGHT", -1},
        {"Default Browser", 2},
        {"Background Color", -1},
        {"Outline Color", 0x1000000},
        {"Words Weight", 11},
        {"Links Weight", -1},
        {"TITLE View", 3},
        {"LINK View", 1},
        {"Rank Cats", 5},
        {"Active Mode", -1},
        {"HTTP Proxy Port", 70000},
        {"SOCKS Proxy Port", 0},
        {"URL Font Face", ""},
        {"URL Font Weight", 5000},
        {"Home", ""},
        {"View DX", 0},
        {"MAPVIEW_WIDTH", "wide"},
    };
    for (const CBadValue& value : bad)
        Put(value.key, value.value);
    const CSettings s = ReadBack();
    EXPECT_EQ(s.sortType, 0);
    EXPECT_EQ(s.urlFont.size, -13);
    EXPECT_EQ(s.linkFont.size, -13);
    EXPECT_EQ(s.wordFont.size, -13);
    EXPECT_EQ(s.treeViewWidth, 185);
    EXPECT_EQ(s.mapViewHeight, 651);
    EXPECT_EQ(s.browser, 1);
    EXPECT_EQ(s.defaultBrowser, 1);
    EXPECT_EQ(s.backgroundColor, 0u);
    EXPECT_EQ(s.outlineColor, 0x006700u);
    EXPECT_DOUBLE_EQ(s.wordsWeight, 0.5);
    EXPECT_DOUBLE_EQ(s.linksWeight, 0.5);
    EXPECT_EQ(s.viewFlags, 0xF2);
    EXPECT_EQ(s.rankCats, 1);
    EXPECT_EQ(s.activeMode, 0);
    EXPECT_EQ(s.httpProxyPort, 80);
    EXPECT_EQ(s.socksProxyPort, 1080);
    EXPECT_EQ(s.urlFont.face, "Arial");
    EXPECT_EQ(s.urlFont.weight, 400);
    EXPECT_EQ(s.home, "/start/dir");
    EXPECT_EQ(s.viewDX, 150);
    EXPECT_EQ(s.mapViewWidth, 550);
}

TEST_F(SettingsTest, Settings_BrowserChoiceOutsideOneToThreeIsKeptAsStored) {
    Put("Browser", 4);
    EXPECT_EQ(ReadBack().browser, 4);
    Put("Browser", 0);
    EXPECT_EQ(ReadBack().browser, 0);
    Put("Browser", "opera");
    EXPECT_EQ(ReadBack().browser, 1);
}

TEST_F(SettingsTest, Settings_SmallPanesAreRaisedToFifty) {
    Put("METAVIEW_WIDTH", 10);
    Put("METAVIEW_HEIGHT", 0);
    Put("TREEVIEW_HEIGHT", 49);
    Put("MAPVIEW_WIDTH", 10);
    const CSettings s = ReadBack();
    EXPECT_EQ(s.metaViewWidth, 50);
    EXPECT_EQ(s.metaViewHeight, 50);
    EXPECT_EQ(s.treeViewHeight, 50);
    EXPECT_EQ(s.mapViewWidth, 10); // the map pane has no minimum of its own
}

TEST_F(SettingsTest, Settings_ViewValuesClearTheirBitWhenZero) {
    Put("TITLE View", 0);
    Put("URL View", 1);
    Put("WORDS View", 0);
    EXPECT_EQ(ReadBack().viewFlags, 0xF2 - 0x02 + 0x01 - 0x20);
}

TEST_F(SettingsTest, Settings_WindowRectIsUsedOnlyWithinOneTo3000) {
    struct CCase {
        int l, t, r, b;
        bool usable;
    };
    const CCase cases[] = {
        {0, 0, 800, 600, false},     {1, 0, 800, 600, true},     {100, 50, 3000, 900, true},
        {100, 50, 3001, 900, false}, {-5, 0, 800, 600, false},   {500, 0, 400, 600, false},
        {100, 600, 900, 600, false}, {2999, 10, 3000, 20, true},
    };
    for (const CCase& c : cases) {
        Put("WINL", c.l);
        Put("WINT", c.t);
        Put("WINR", c.r);
        Put("WINB", c.b);
        EXPECT_EQ(ReadBack().HasWindowRect(), c.usable)
            << c.l << "," << c.t << "," << c.r << "," << c.b;
    }
}

} // namespace
