#pragma once

#include <QDialog>

class CSettings;
class QSlider;

// "Categorizer Settings": the three categorizer weights, 0.0 to 1.0 in tenths, each on a
// slider of eleven positions.
class CCategorizerSettingsDlg : public QDialog {
    Q_OBJECT
public:
    // The sliders start at each weight times ten, truncated toward zero.
    CCategorizerSettingsDlg(double wordsWeight, double linksWeight, double urlsWeight,
                            QWidget* parent = nullptr);

    // After exec() returned Accepted: each slider position divided by ten.
    double WordsWeight() const { return m_wordsWeight; }
    double LinksWeight() const { return m_linksWeight; }
    double UrlsWeight() const { return m_urlsWeight; }

    // Runs the dialog on the settings' weights; on OK stores the new ones there and returns
    // true (the caller writes them). Cancel changes nothing.
    static bool EditWeights(CSettings& settings, QWidget* parent);

    void accept() override;

private:
    double m_wordsWeight;
    double m_linksWeight;
    double m_urlsWeight;
    QSlider* m_wordsSlider = nullptr;
    QSlider* m_linksSlider = nullptr;
    QSlider* m_urlsSlider = nullptr;
};
