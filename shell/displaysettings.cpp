#include "shell/displaysettings.h"

#include "dialogs/fontcolordlg.h"
#include "shell/colorref.h"
#include "shell/settings.h"

#include <QAction>
#include <QColorDialog>
#include <QMenu>

namespace {

// Menu texts as the program has always had them.
constexpr const char* kColorCommands[kMapColorCount] = {"&Map Background Color",
                                                        "Map &Outline Color", "Map Link &Color",
                                                        "Map &Words Color", "Map Category Color"};
constexpr const char* kColorTips[kMapColorCount] = {
    "Choose the map background colour", "Choose the colour of outlines on the maps",
    "Choose the colour of links on the maps", "Choose the colour of words on the map",
    "Choose the colour of lines between sites of a category"};
constexpr const char* kFontCommands[kMapFontCount] = {"Site Font", "&Link Font", "Words &Font"};
constexpr const char* kFontTips[kMapFontCount] = {"Choose the font of site labels",
                                                  "Choose the font of link labels",
                                                  "Choose the font of word labels"};
constexpr const char* kPaletteCommands[kMapPaletteCount] = {"Light Colours", "Classic Colours"};
constexpr const char* kPaletteTips[kMapPaletteCount] = {
    "White ground, dark labels and muted lines on the maps",
    "The maps' first colours: black ground, coloured labels and lines"};

// Background, outline, link, words, category; site, link and word labels.
constexpr CMapPalette kPalettes[kMapPaletteCount] = {
    {{0xFFFFFF, 0x8C8C8C, 0xC8AA96, 0x6EAAD7, 0x78AA6E}, {0x6E2D19, 0x504646, 0x144678}},
    {{0x000000, 0x006700, 0x004500, 0x420000, 0x00FF00}, {0x0000FF, 0x670067, 0x420000}},
};

} // namespace

CDisplaySettings::CDisplaySettings(CSettings& settings, std::function<void(Writer)> write,
                                   std::function<void()> refresh, QWidget* dialogParent)
    : QObject(dialogParent), m_settings(settings), m_write(std::move(write)),
      m_refresh(std::move(refresh)), m_dialogParent(dialogParent), m_objects(settings) {
    for (int i = 0; i < kMapColorCount; ++i) {
        const auto which = static_cast<EMapColor>(i);
        m_colorActions[i] = new QAction(QString::fromLatin1(kColorCommands[i]), this);
        m_colorActions[i]->setStatusTip(QString::fromLatin1(kColorTips[i]));
        connect(m_colorActions[i], &QAction::triggered, this,
                [this, which] { ChooseColor(which); });
    }
    for (int i = 0; i < kMapFontCount; ++i) {
        const auto which = static_cast<EMapFont>(i);
        m_fontActions[i] = new QAction(QString::fromLatin1(kFontCommands[i]), this);
        m_fontActions[i]->setStatusTip(QString::fromLatin1(kFontTips[i]));
        connect(m_fontActions[i], &QAction::triggered, this, [this, which] { ChooseFont(which); });
    }
    for (int i = 0; i < kMapPaletteCount; ++i) {
        const auto which = static_cast<EMapPalette>(i);
        m_paletteActions[i] = new QAction(QString::fromLatin1(kPaletteCommands[i]), this);
        m_paletteActions[i]->setStatusTip(QString::fromLatin1(kPaletteTips[i]));
        connect(m_paletteActions[i], &QAction::triggered, this,
                [this, which] { ApplyPalette(Palette(which)); });
    }
}

CMapPalette CDisplaySettings::Palette(EMapPalette which) {
    return kPalettes[which == kClassicPalette ? kClassicPalette : kLightPalette];
}

void CDisplaySettings::AddCommands(QMenu* menu) {
    if (!menu)
        return;
    for (QAction* action : m_colorActions)
        menu->addAction(action);
    for (QAction* action : m_paletteActions)
        menu->addAction(action);
    menu->addSeparator();
    for (QAction* action : m_fontActions)
        menu->addAction(action);
}

std::uint32_t& CDisplaySettings::ColorSetting(EMapColor which) {
    switch (which) {
    case kMapOutlineColor:
        return m_settings.outlineColor;
    case kMapLinkColor:
        return m_settings.linkColor;
    case kMapWordsColor:
        return m_settings.wordsColor;
    case kMapCategoryColor:
        return m_settings.categoryColor;
    default:
        return m_settings.backgroundColor;
    }
}

CFontSetting& CDisplaySettings::FontSetting(EMapFont which) {
    switch (which) {
    case kMapLinkFont:
        return m_settings.linkFont;
    case kMapWordFont:
        return m_settings.wordFont;
    default:
        return m_settings.urlFont;
    }
}

void CDisplaySettings::ChooseColor(EMapColor which) {
    QColorDialog dialog(ColorFromRef(ColorSetting(which)), m_dialogParent);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    dialog.setWindowTitle(m_colorActions[which]->text().remove(QLatin1Char('&')));
    if (dialog.exec() == QDialog::Accepted)
        ApplyColor(which, RefFromColor(dialog.selectedColor()));
}

void CDisplaySettings::ChooseFont(EMapFont which) {
    CFontColorDlg dialog(FontSetting(which), m_fontActions[which]->text().remove(QLatin1Char('&')),
                         m_dialogParent);
    if (dialog.exec() == QDialog::Accepted)
        ApplyFont(which, dialog.Setting());
}

void CDisplaySettings::ApplyColor(EMapColor which, std::uint32_t colorRef) {
    ColorSetting(which) = colorRef & 0xFFFFFF;
    RebuildDrawingObjects();
    if (m_write)
        m_write(&CSettings::WriteColors);
    if (m_refresh)
        m_refresh();
}

void CDisplaySettings::ApplyFont(EMapFont which, const CFontSetting& font) {
    CFontSetting& setting = FontSetting(which);
    setting = font;
    setting.color &= 0xFFFFFF;
    RebuildDrawingObjects();
    if (m_write)
        m_write(&CSettings::WriteFonts);
    if (m_refresh)
        m_refresh();
}

void CDisplaySettings::ApplyPalette(const CMapPalette& palette) {
    for (int i = 0; i < kMapColorCount; ++i)
        ColorSetting(static_cast<EMapColor>(i)) = palette.colors[i] & 0xFFFFFF;
    for (int i = 0; i < kMapFontCount; ++i)
        FontSetting(static_cast<EMapFont>(i)).color = palette.fontColors[i] & 0xFFFFFF;
    RebuildDrawingObjects();
    if (m_write) {
        m_write(&CSettings::WriteColors);
        m_write(&CSettings::WriteFonts);
    }
    if (m_refresh)
        m_refresh();
}

void CDisplaySettings::RebuildDrawingObjects() {
    m_objects.Rebuild(m_settings);
    emit DrawingObjectsChanged();
}
