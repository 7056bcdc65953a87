#include "dialogs/fontcolordlg.h"

#include "shell/colorref.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double kDotsPerInch = 96.0;
constexpr double kPointsPerInch = 72.0;

QFont FontOfSetting(const CFontSetting& setting) {
    QFont font(QString::fromStdString(setting.face));
    font.setPointSizeF(CFontColorDlg::PointSizeOfHeight(setting.size));
    font.setItalic(setting.italic != 0);
    if (setting.weight > 0)
        font.setWeight(static_cast<QFont::Weight>(std::clamp<int>(setting.weight, 1, 1000)));
    return font;
}

QIcon Swatch(std::uint32_t colorRef) {
    QPixmap pixmap(32, 14);
    pixmap.fill(ColorFromRef(colorRef));
    return QIcon(pixmap);
}

} // namespace

double CFontColorDlg::PointSizeOfHeight(std::int32_t height) {
    return std::max(1, std::abs(height)) * kPointsPerInch / kDotsPerInch;
}

std::int32_t CFontColorDlg::HeightOfPointSize(double pointSize) {
    const auto pixels =
        static_cast<std::int32_t>(std::lround(pointSize * kDotsPerInch / kPointsPerInch));
    return -std::max(1, pixels);
}

CFontColorDlg::CFontColorDlg(const CFontSetting& initial, const QString& title, QWidget* parent)
    : QDialog(parent), m_color(initial.color & 0xFFFFFF) {
    setWindowTitle(title);

    // The font dialog serves as a widget inside this one; its own Escape and Enter end this
    // dialog.
    m_fontChooser = new QFontDialog(this);
    m_fontChooser->setWindowFlags(Qt::Widget);
    m_fontChooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_fontChooser->setCurrentFont(FontOfSetting(initial));
    connect(m_fontChooser, &QDialog::rejected, this, &QDialog::reject);
    connect(m_fontChooser, &QDialog::accepted, this, &QDialog::accept);

    auto* colorLabel = new QLabel(QStringLiteral("&Color:"), this);
    m_colorButton = new QPushButton(this);
    m_colorButton->setObjectName(QStringLiteral("colorButton"));
    m_colorButton->setAutoDefault(false);
    colorLabel->setBuddy(m_colorButton);
    SetTextColor(m_color);
    connect(m_colorButton, &QPushButton::clicked, this, &CFontColorDlg::ChooseTextColor);

    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(colorLabel);
    colorRow->addWidget(m_colorButton);
    colorRow->addStretch(1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fontChooser);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
}

void CFontColorDlg::SetTextColor(std::uint32_t colorRef) {
    m_color = colorRef & 0xFFFFFF;
    m_colorButton->setIcon(Swatch(m_color));
    m_colorButton->setIconSize(QSize(32, 14));
    m_colorButton->setToolTip(ColorFromRef(m_color).name());
}

void CFontColorDlg::ChooseTextColor() {
    QColorDialog dialog(ColorFromRef(m_color), this);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() == QDialog::Accepted)
        SetTextColor(RefFromColor(dialog.selectedColor()));
}

CFontSetting CFontColorDlg::Setting() const {
    const QFont font = m_fontChooser->currentFont();
    CFontSetting setting;
    setting.face = font.family().toStdString();
    setting.size = font.pointSizeF() > 0 ? HeightOfPointSize(font.pointSizeF())
                                         : -std::max(1, font.pixelSize());
    setting.color = m_color;
    setting.italic = font.italic() ? 1 : 0;
    setting.weight = static_cast<std::int32_t>(font.weight());
    return setting;
}
