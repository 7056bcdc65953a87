#include "shell/displaysettings.h"

#include "dialogs/fontcolordlg.h"
#include "shell/colorref.h"
#include "shell/settings.h"
#include "tests/dialogs/modalhelper.h"
#include "tests/support/tempdir.h"

#include <QAction>
#include <QColorDialog>
#include <QFile>
#include <QFontDatabase>
#include <QFontDialog>
#include <QMenu>
#include <QPushButton>
#include <QSettings>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

// The settings file of a private configuration folder, written the way the main frame writes.
class DisplaySettingsTest : public ::testing::Test {
protected:
    DisplaySettingsTest() {
        ::setenv("XDG_CONFIG_HOME", m_config.Path().c_str(), 1);
        m_display = std::make_unique<CDisplaySettings>(
            m_settings,
            [this](CDisplaySettings::Writer writer) {
                QSettings store(IniPath(), QSettings::IniFormat);
                (m_settings.*writer)(store);
            },
            [this] { ++m_refreshes; }, nullptr);
    }

    QString IniPath() const {
        return QString::fromStdString(m_config.File("Quellon/Wayfold.conf"));
    }
    QVariant Saved(const char* key) const {
        QSettings store(IniPath(), QSettings::IniFormat);
        return store.value(QStringLiteral("Wayfold/") + key);
    }

    CTempDir m_config;
    CSettings m_settings{"/start"};
    int m_refreshes = 0;
    std::unique_ptr<CDisplaySettings> m_display;
};

struct CColorCase {
    EMapColor which;
    const char* menuText;
    const char* key;
    std::uint32_t CSettings::*field;
};

constexpr CColorCase kColorCases[] = {
    {kMapBackgroundColor, "&Map Background Color", "Background Color", &CSettings::backgroundColor},
    {kMapOutlineColor, "Map &Outline Color", "Outline Color", &CSettings::outlineColor},
    {kMapLinkColor, "Map Link &Color", "Link Color", &CSettings::linkColor},
    {kMapWordsColor, "Map &Words Color", "Words Color", &CSettings::wordsColor},
    {kMapCategoryColor, "Map Category Color", "Category Color", &CSettings::categoryColor},
};

} // namespace

TEST_F(DisplaySettingsTest, EachColorCommandOpensOnItsColourAndWritesItsValue) {
    int n = 0;
    for (const CColorCase& c : kColorCases) {
        QAction* action = m_display->ColorAction(c.which);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text().toStdString(), c.menuText);
        const std::uint32_t before = m_settings.*c.field;
        const std::uint32_t chosen = 0x102030u + static_cast<std::uint32_t>(n++);
        QColor shownAtStart;
        AnswerNextModal<QColorDialog>([&](QColorDialog* dialog) {
            shownAtStart = dialog->currentColor();
            dialog->setCurrentColor(ColorFromRef(chosen));
            dialog->accept();
        });
        action->trigger();
        EXPECT_EQ(RefFromColor(shownAtStart), before) << c.key;
        EXPECT_EQ(m_settings.*c.field, chosen) << c.key;
        EXPECT_EQ(Saved(c.key).toUInt(), chosen) << c.key;
    }
    EXPECT_EQ(m_refreshes, 5);
    const CDrawingObjects& objects = m_display->DrawingObjects();
    EXPECT_EQ(RefFromColor(objects.backgroundBrush.color()), 0x102030u);
    EXPECT_EQ(RefFromColor(objects.outlinePen.color()), 0x102031u);
    EXPECT_EQ(RefFromColor(objects.linkPen.color()), 0x102032u);
    EXPECT_EQ(RefFromColor(objects.wordsBrush.color()), 0x102033u);
    EXPECT_EQ(RefFromColor(objects.categoryPen.color()), 0x102034u);
    EXPECT_EQ(RefFromColor(objects.inverseLinkPen.color()), 0xFFFFFFu - 0x102032u);
}

TEST_F(DisplaySettingsTest, CancelledColourChangesNothingAndWritesNothing) {
    AnswerNextModal<QColorDialog>([](QColorDialog* dialog) {
        dialog->setCurrentColor(Qt::white);
        dialog->reject();
    });
    m_display->ColorAction(kMapLinkColor)->trigger();
    EXPECT_EQ(m_settings.linkColor, 0x004500u);
    EXPECT_FALSE(QFile::exists(IniPath()));
    EXPECT_EQ(m_refreshes, 0);
}

TEST_F(DisplaySettingsTest, InverseColoursAreTheComplementsOfLinkAndWords) {
    const CDrawingObjects& objects = m_display->DrawingObjects();
    EXPECT_EQ(objects.inverseLinkPen.color(), QColor(0xFF, 0xBA, 0xFF));  // of 0x004500
    EXPECT_EQ(objects.inverseWordsPen.color(), QColor(0xFF, 0xFF, 0xBD)); // of 0x420000
    EXPECT_EQ(objects.inverseLinkBrush.color(), QColor(0xFF, 0xBA, 0xFF));
    m_display->ApplyColor(kMapWordsColor, 0x123456);
    EXPECT_EQ(RefFromColor(objects.inverseWordsPen.color()), 0xEDCBA9u);
    EXPECT_EQ(RefFromColor(objects.inverseWordsBrush.color()), 0xEDCBA9u);
    EXPECT_EQ(CDrawingObjects::InverseColor(0), 0xFFFFFFu);
    EXPECT_EQ(CDrawingObjects::InverseColor(0xFFFFFF), 0u);
    EXPECT_EQ(objects.linkPen.width(), 1);
    EXPECT_EQ(objects.linkPen.style(), Qt::SolidLine);
}

TEST_F(DisplaySettingsTest, FontCommandChoosesFontAndTextColourAndWritesTheFiveValues) {
    QString family;
    for (const QString& candidate : QFontDatabase::families())
        if (family.isEmpty() && QFontDatabase::styles(candidate).contains("Bold Italic"))
            family = candidate;
    if (family.isEmpty())
        GTEST_SKIP() << "no font family with a Bold Italic style installed";
    QAction* action = m_display->FontAction(kMapLinkFont);
    EXPECT_EQ(action->text(), QStringLiteral("&Link Font"));

    double startPoints = 0;
    std::uint32_t startColor = 0;
    AnswerNextModal<CFontColorDlg>([&](CFontColorDlg* dialog) {
        startPoints = dialog->FontChooser()->currentFont().pointSizeF();
        startColor = dialog->TextColor();
        AnswerNextModal<QColorDialog>([](QColorDialog* colors) {
            colors->setCurrentColor(QColor(0x11, 0x22, 0x33));
            colors->accept();
        });
        dialog->ColorButton()->click();
        QFont font(family);
        font.setPointSize(12);
        font.setItalic(true);
        font.setWeight(QFont::Bold);
        dialog->FontChooser()->setCurrentFont(font);
        dialog->accept();
    });
    action->trigger();

    EXPECT_NEAR(startPoints, 9.75, 0.25); // height -13 at 96 dots per inch
    EXPECT_EQ(startColor, 0x670067u);
    EXPECT_EQ(Saved("Link Font Face").toString(), family);
    EXPECT_EQ(Saved("Link Font Size").toInt(), -16);
    EXPECT_EQ(Saved("Link Font Color").toUInt(), 0x332211u);
    EXPECT_EQ(Saved("Link Font Italic").toInt(), 1);
    EXPECT_EQ(Saved("Link Font Weight").toInt(), 700);
    EXPECT_EQ(m_refreshes, 1);

    const CMapFont& drawn = m_display->DrawingObjects().linkFont;
    EXPECT_EQ(drawn.font.family(), family);
    EXPECT_EQ(drawn.font.pixelSize(), 16);
    EXPECT_TRUE(drawn.font.italic());
    EXPECT_EQ(drawn.font.weight(), QFont::Bold);
    EXPECT_EQ(drawn.color, QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(drawn.height, -16);
    // The other fonts are as they were.
    EXPECT_EQ(m_settings.urlFont.color, 0x0000FFu);
    EXPECT_EQ(m_settings.wordFont.size, -13);
}

TEST_F(DisplaySettingsTest, CancelledFontKeepsFontAndColour) {
    AnswerNextModal<CFontColorDlg>([](CFontColorDlg* dialog) {
        dialog->SetTextColor(0xFFFFFF);
        QFont font = dialog->FontChooser()->currentFont();
        font.setPointSize(30);
        dialog->FontChooser()->setCurrentFont(font);
        dialog->reject();
    });
    m_display->FontAction(kMapWordFont)->trigger();
    EXPECT_EQ(m_settings.wordFont.color, 0x420000u);
    EXPECT_EQ(m_settings.wordFont.size, -13);
    EXPECT_FALSE(QFile::exists(IniPath()));
    EXPECT_EQ(m_refreshes, 0);
}

TEST_F(DisplaySettingsTest, AcceptedUnchangedFontKeepsItsHeightAndColour) {
    AnswerNextModal<CFontColorDlg>([](CFontColorDlg* dialog) { dialog->accept(); });
    m_display->FontAction(kMapUrlFont)->trigger();
    EXPECT_EQ(Saved("URL Font Size").toInt(), -13);
    EXPECT_EQ(Saved("URL Font Color").toUInt(), 0x0000FFu);
    EXPECT_EQ(Saved("URL Font Italic").toInt(), 0);
    EXPECT_EQ(Saved("URL Font Weight").toInt(), 400);
    EXPECT_EQ(m_refreshes, 1);
}

TEST_F(DisplaySettingsTest, CommandsGoIntoTheMenuInTheirOrder) {
    QMenu menu;
    m_display->AddCommands(&menu);
    QStringList texts;
    for (QAction* action : menu.actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(texts.join(QLatin1Char('|')).toStdString(),
              "&Map Background Color|Map &Outline Color|Map Link &Color|Map &Words Color|"
              "Map Category Color|Light Colours|Classic Colours|-|Site Font|&Link Font|"
              "Words &Font");
}

// Each palette command sets the five colours and the three font colours in one step and
// writes them as the colour and font commands do; the fonts themselves stay as chosen.
TEST_F(DisplaySettingsTest, PaletteCommandsSetAndWriteEveryColourAndKeepTheFonts) {
    m_settings.urlFont.size = -20;
    m_settings.linkFont.face = "DejaVu Serif";
    const CSettings defaults;
    struct CPaletteCase {
        EMapPalette which;
        std::uint32_t background;
        std::uint32_t siteText;
    };
    const CPaletteCase cases[] = {
        {kLightPalette, 0xFFFFFF, 0x6E2D19},
        {kClassicPalette, defaults.backgroundColor, defaults.urlFont.color}};
    int refreshes = 0;
    for (const CPaletteCase& c : cases) {
        m_display->PaletteAction(c.which)->trigger();
        EXPECT_EQ(m_refreshes, ++refreshes);
        EXPECT_EQ(m_settings.backgroundColor, c.background);
        EXPECT_EQ(m_settings.urlFont.color, c.siteText);
        EXPECT_EQ(m_display->DrawingObjects().backgroundBrush.color(), ColorFromRef(c.background));
        for (const CColorCase& color : kColorCases)
            EXPECT_EQ(Saved(color.key).toUInt(), m_settings.*color.field) << color.key;
        EXPECT_EQ(Saved("URL Font Color").toUInt(), c.siteText);
        EXPECT_EQ(Saved("Link Font Color").toUInt(), m_settings.linkFont.color);
        EXPECT_EQ(Saved("Word Font Color").toUInt(), m_settings.wordFont.color);
        EXPECT_EQ(Saved("URL Font Size").toInt(), -20);
        EXPECT_EQ(Saved("Link Font Face").toString(), QStringLiteral("DejaVu Serif"));
    }
    // Classic is the program's first look.
    for (const CColorCase& color : kColorCases)
        EXPECT_EQ(m_settings.*color.field, defaults.*color.field) << color.key;
    EXPECT_EQ(m_settings.linkFont.color, defaults.linkFont.color);
    EXPECT_EQ(m_settings.wordFont.color, defaults.wordFont.color);
}

TEST(FontColorDlg, PointSizesAndHeightsRoundTrip) {
    EXPECT_DOUBLE_EQ(CFontColorDlg::PointSizeOfHeight(-13), 9.75);
    EXPECT_DOUBLE_EQ(CFontColorDlg::PointSizeOfHeight(16), 12.0);
    EXPECT_EQ(CFontColorDlg::HeightOfPointSize(9.75), -13);
    EXPECT_EQ(CFontColorDlg::HeightOfPointSize(8), -11);
    EXPECT_EQ(CFontColorDlg::HeightOfPointSize(0.1), -1);
}
