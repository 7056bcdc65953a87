#pragma once

#include "shell/settings.h"

#include <QDialog>

#include <cstdint>

class QFontDialog;
class QPushButton;

// The font chooser of the map labels: face, style, size and effects as a font dialog offers
// them, and the text colour, in one dialog. Sizes are logical font heights: the stored height's
// magnitude is the character height in pixels at 96 dots per inch, and the chosen size comes
// back as a negative height (character height), as the original font dialog gave it.
class CFontColorDlg : public QDialog {
    Q_OBJECT
public:
    CFontColorDlg(const CFontSetting& initial, const QString& title, QWidget* parent = nullptr);

    // The choice: face, height, colour, italic (0/1) and weight (1..1000).
    CFontSetting Setting() const;

    // The parts, for the keyboard and for tests.
    QFontDialog* FontChooser() const { return m_fontChooser; }
    QPushButton* ColorButton() const { return m_colorButton; }
    std::uint32_t TextColor() const { return m_color; }
    void SetTextColor(std::uint32_t colorRef);

    // Point size <-> logical height at 96 dots per inch.
    static double PointSizeOfHeight(std::int32_t height);
    static std::int32_t HeightOfPointSize(double pointSize);

private:
    void ChooseTextColor();

    QFontDialog* m_fontChooser = nullptr;
    QPushButton* m_colorButton = nullptr;
    std::uint32_t m_color = 0;
};
