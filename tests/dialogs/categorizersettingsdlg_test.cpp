#include "dialogs/categorizersettingsdlg.h"

#include "modalhelper.h"
#include "shell/settings.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

namespace {
QSlider* Slider(const CCategorizerSettingsDlg& dlg, const char* name) {
    return dlg.findChild<QSlider*>(QString::fromLatin1(name));
}

void Press(QDialog* dlg, QDialogButtonBox::StandardButton which) {
    dlg->findChild<QDialogButtonBox*>()->button(which)->click();
}
} // namespace

TEST(CategorizerSettingsDlg, EveryTenthComesBackUnchangedThroughOk) {
    for (int tenth = 0; tenth <= 10; ++tenth) {
        const double weight = tenth / 10.0;
        CCategorizerSettingsDlg dlg(weight, (10 - tenth) / 10.0, weight);
        EXPECT_EQ(Slider(dlg, "wordsWeight")->value(), tenth);
        EXPECT_EQ(Slider(dlg, "linksWeight")->value(), 10 - tenth);
        Press(&dlg, QDialogButtonBox::Ok);
        EXPECT_EQ(dlg.WordsWeight(), weight);
        EXPECT_EQ(dlg.UrlsWeight(), weight);
        EXPECT_EQ(dlg.LinksWeight(), (10 - tenth) / 10.0);
    }
}

TEST(CategorizerSettingsDlg, WeightsBetweenTenthsAreTruncated) {
    CCategorizerSettingsDlg dlg(0.35, 0.99, 0.0999);
    EXPECT_EQ(Slider(dlg, "wordsWeight")->value(), 3);
    EXPECT_EQ(Slider(dlg, "linksWeight")->value(), 9);
    EXPECT_EQ(Slider(dlg, "urlsWeight")->value(), 0);
    Press(&dlg, QDialogButtonBox::Ok);
    EXPECT_EQ(dlg.WordsWeight(), 0.3);
    EXPECT_EQ(dlg.LinksWeight(), 0.9);
    EXPECT_EQ(dlg.UrlsWeight(), 0.0);
}

TEST(CategorizerSettingsDlg, SlidersHaveElevenPositionsAndTheirLabels) {
    CCategorizerSettingsDlg dlg(0.5, 0.5, 0.5);
    for (const char* name : {"wordsWeight", "linksWeight", "urlsWeight"}) {
        EXPECT_EQ(Slider(dlg, name)->minimum(), 0);
        EXPECT_EQ(Slider(dlg, name)->maximum(), 10);
    }
    QStringList labels;
    for (const QLabel* label : dlg.findChildren<QLabel*>())
        labels << label->text();
    for (const char* text : {"Category Words", "Shared Links", "Shared URL Words"})
        EXPECT_TRUE(labels.contains(QString::fromLatin1(text))) << text;
    EXPECT_EQ(labels.count(QStringLiteral("0.0")), 3);
    EXPECT_EQ(labels.count(QStringLiteral("1.0")), 3);
}

TEST(CategorizerSettingsDlg, EditWeightsStoresTheSliderPositionsOnOkOnly) {
    CSettings settings;
    settings.wordsWeight = 0.35;
    settings.linksWeight = 0.5;
    settings.urlsWeight = 0.5;
    AnswerNextModal<CCategorizerSettingsDlg>([](CCategorizerSettingsDlg* dlg) {
        Slider(*dlg, "linksWeight")->setValue(8);
        Press(dlg, QDialogButtonBox::Cancel);
    });
    EXPECT_FALSE(CCategorizerSettingsDlg::EditWeights(settings, nullptr));
    EXPECT_EQ(settings.wordsWeight, 0.35);
    EXPECT_EQ(settings.linksWeight, 0.5);

    AnswerNextModal<CCategorizerSettingsDlg>([](CCategorizerSettingsDlg* dlg) {
        Slider(*dlg, "linksWeight")->setValue(8);
        Press(dlg, QDialogButtonBox::Ok);
    });
    EXPECT_TRUE(CCategorizerSettingsDlg::EditWeights(settings, nullptr));
    EXPECT_EQ(settings.wordsWeight, 0.3);
    EXPECT_EQ(settings.linksWeight, 0.8);
    EXPECT_EQ(settings.urlsWeight, 0.5);
}
