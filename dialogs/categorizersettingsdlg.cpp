#include "dialogs/categorizersettingsdlg.h"

#include "shell/settings.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>

#include <cmath>

namespace {

constexpr int kLastPosition = 10;

int PositionOf(double weight) {
    const double tenths = std::trunc(weight * 10.0);
    if (!(tenths >= 0.0)) // also NaN
        return 0;
    return tenths > kLastPosition ? kLastPosition : static_cast<int>(tenths);
}

QSlider* AddSlider(QGridLayout* grid, int row, const QString& caption, const QString& name,
                   double weight, QWidget* parent) {
    grid->addWidget(new QLabel(caption, parent), row * 2, 0, 1, 3);
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(name);
    slider->setRange(0, kLastPosition);
    slider->setPageStep(1);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(1);
    slider->setValue(PositionOf(weight));
    grid->addWidget(new QLabel(QStringLiteral("0.0"), parent), row * 2 + 1, 0);
    grid->addWidget(slider, row * 2 + 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("1.0"), parent), row * 2 + 1, 2);
    return slider;
}

} // namespace

CCategorizerSettingsDlg::CCategorizerSettingsDlg(double wordsWeight, double linksWeight,
                                                 double urlsWeight, QWidget* parent)
    : QDialog(parent), m_wordsWeight(wordsWeight), m_linksWeight(linksWeight),
      m_urlsWeight(urlsWeight) {
    setWindowTitle(QStringLiteral("Categorizer Settings"));
    setObjectName(QStringLiteral("CategorizerSettingsDialog"));
    auto* grid = new QGridLayout(this);
    m_wordsSlider = AddSlider(grid, 0, QStringLiteral("Category Words"),
                              QStringLiteral("wordsWeight"), wordsWeight, this);
    m_linksSlider = AddSlider(grid, 1, QStringLiteral("Shared Links"),
                              QStringLiteral("linksWeight"), linksWeight, this);
    m_urlsSlider = AddSlider(grid, 2, QStringLiteral("Shared URL Words"),
                             QStringLiteral("urlsWeight"), urlsWeight, this);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    grid->addWidget(buttons, 6, 0, 1, 3);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCategorizerSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(360, sizeHint().height());
}

void CCategorizerSettingsDlg::accept() {
    m_wordsWeight = m_wordsSlider->value() / 10.0;
    m_linksWeight = m_linksSlider->value() / 10.0;
    m_urlsWeight = m_urlsSlider->value() / 10.0;
    QDialog::accept();
}

bool CCategorizerSettingsDlg::EditWeights(CSettings& settings, QWidget* parent) {
    CCategorizerSettingsDlg dialog(settings.wordsWeight, settings.linksWeight, settings.urlsWeight,
                                   parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings.wordsWeight = dialog.WordsWeight();
    settings.linksWeight = dialog.LinksWeight();
    settings.urlsWeight = dialog.UrlsWeight();
    return true;
}
