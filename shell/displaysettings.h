#pragma once

#include "shell/drawingobjects.h"

#include <QObject>

#include <cstdint>
#include <functional>

class CSettings;
class QAction;
class QMenu;
class QSettings;
class QWidget;
struct CFontSetting;

// The five map colours and the three label fonts.
enum EMapColor {
    kMapBackgroundColor,
    kMapOutlineColor,
    kMapLinkColor,
    kMapWordsColor,
    kMapCategoryColor,
    kMapColorCount
};
enum EMapFont { kMapUrlFont, kMapLinkFont, kMapWordFont, kMapFontCount };
// Whole looks of the maps, chosen in one step.
enum EMapPalette { kLightPalette, kClassicPalette, kMapPaletteCount };

// The five map colours and the text colours of the three label fonts, 0x00BBGGRR.
struct CMapPalette {
    std::uint32_t colors[kMapColorCount];
    std::uint32_t fontColors[kMapFontCount];
};

// The commands that change the look of the maps: a colour dialog on each map colour and a font
// chooser (with the text colour) on each label font. On OK the value is stored in the settings,
// the drawing objects are rebuilt, the values are written and all views refreshed; Cancel
// changes nothing. "Light Colours" and "Classic Colours" set all eight colours at once, as
// if each had been chosen. Owns the drawing objects the maps read.
class CDisplaySettings : public QObject {
    Q_OBJECT
public:
    using Writer = void (CSettings::*)(QSettings&) const;

    // `settings` is not owned and must outlive this object; `write` saves one group of
    // settings at once (the main frame's WriteSettings), `refresh` updates all views.
    // `dialogParent` parents the dialogs.
    CDisplaySettings(CSettings& settings, std::function<void(Writer)> write,
                     std::function<void()> refresh, QWidget* dialogParent);

    const CDrawingObjects& DrawingObjects() const { return m_objects; }

    // Appends the five colour commands, the two palette commands, a separator and the three
    // font commands.
    void AddCommands(QMenu* menu);
    QAction* ColorAction(EMapColor which) const { return m_colorActions[which]; }
    QAction* FontAction(EMapFont which) const { return m_fontActions[which]; }
    QAction* PaletteAction(EMapPalette which) const { return m_paletteActions[which]; }

    // The light palette (white ground, dark labels, muted lines) and the program's first
    // colours.
    static CMapPalette Palette(EMapPalette which);

    // The commands: run the dialog on the current value and apply it on OK.
    void ChooseColor(EMapColor which);
    void ChooseFont(EMapFont which);

    // Store, rebuild, write and refresh, as after OK in the dialogs.
    void ApplyColor(EMapColor which, std::uint32_t colorRef);
    void ApplyFont(EMapFont which, const CFontSetting& font);
    // Every colour and font colour of the palette, then one rebuild, the colours and fonts
    // written and one refresh.
    void ApplyPalette(const CMapPalette& palette);

    // Rebuilds the drawing objects from the settings (after the settings were read).
    void RebuildDrawingObjects();

    std::uint32_t& ColorSetting(EMapColor which);
    CFontSetting& FontSetting(EMapFont which);

signals:
    // The drawing objects were rebuilt.
    void DrawingObjectsChanged();

private:
    CSettings& m_settings;
    std::function<void(Writer)> m_write;
    std::function<void()> m_refresh;
    QWidget* m_dialogParent;
    CDrawingObjects m_objects;
    QAction* m_colorActions[kMapColorCount] = {};
    QAction* m_fontActions[kMapFontCount] = {};
    QAction* m_paletteActions[kMapPaletteCount] = {};
};
