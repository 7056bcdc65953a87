#include "dialogs/importhistorydlg.h"

#include "tests/history/historyfiles.h"
#include "tests/support/tempdir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QThread>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace {

bool WaitUntil(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return done();
}

QStringList Items(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

std::string Urls(const std::vector<CHistoryPage>& pages) {
    std::string joined;
    for (const CHistoryPage& page : pages)
        joined += page.url + " ";
    return joined;
}

// A home with a Firefox profile of three pages and a Chromium folder with a readable profile
// of two pages and a damaged one.
class ImportHistoryDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string firefox = m_roots.home + "/.mozilla/firefox";
        std::filesystem::create_directories(firefox + "/x1.default");
        std::ofstream(firefox + "/profiles.ini")
            << "[Profile0]\nName=default\nIsRelative=1\nPath=x1.default\nDefault=1\n";
        CTestDb places(firefox + "/x1.default/places.sqlite");
        MakeFirefox(places);
        AddFirefoxVisits(places, 1, "http://often.test/",
                         {kT - 20 * kDay, kT - 10 * kDay, kT - 9 * kDay});
        AddFirefoxVisits(places, 2, "http://lately.test/", {kT - kDay});
        AddFirefoxVisits(places, 3, "http://known.test/", {kT - 2 * kDay, kT - 2 * kDay});

        const std::string chromium = m_roots.configHome + "/chromium";
        std::filesystem::create_directories(chromium + "/Default");
        std::filesystem::create_directories(chromium + "/Profile 1");
        std::ofstream(chromium + "/Local State")
            << R"({"profile":{"info_cache":{"Default":{"name":"Person 1"},"Profile 1":{"name":"Broken"}}}})";
        CTestDb history(chromium + "/Default/History");
        MakeChromium(history);
        AddChromiumVisits(history, 1, "https://one.test/", {kT});
        AddChromiumVisits(history, 2, "https://two.test/", {kT - kDay});
        std::ofstream(chromium + "/Profile 1/History") << std::string(4096, 'z');
    }

    std::unique_ptr<CImportHistoryDlg> Dialog() {
        auto dialog = std::make_unique<CImportHistoryDlg>(
            FindBrowserProfiles(m_roots),
            [this](const std::string& url) { return m_known.contains(url); }, kT);
        EXPECT_TRUE(
            WaitUntil([&] { return !Items(dialog->SourceBox()).join("").contains("counting"); }));
        return dialog;
    }

    CTempDir m_dir;
    CProfileRoots m_roots{m_dir.File("home"), m_dir.File("config")};
    std::set<std::string> m_known{"http://known.test/"};
};

TEST_F(ImportHistoryDlgTest, Dialog_ListsHistoriesWithCountsAndEstimatesWhatTheChoicesTake) {
    const auto dialog = Dialog();
    EXPECT_EQ(
        Items(dialog->SourceBox()),
        (QStringList{"Firefox, profile default (3 pages)", "Chromium, profile Person 1 (2 pages)",
                     "Chromium, profile Broken (cannot be read)"}));
    EXPECT_EQ(dialog->EstimateLabel()->text(), "2 pages will be imported.");
    EXPECT_EQ(Urls(dialog->Selection()), "http://often.test/ http://lately.test/ ");
    EXPECT_TRUE(dialog->ImportButton()->isEnabled());

    struct CStep {
        std::function<void()> change;
        std::string selection;
    };
    const std::vector<CStep> steps{
        {[&] { dialog->SkipBox()->setChecked(false); },
         "http://often.test/ http://known.test/ http://lately.test/ "},
        {[&] { dialog->MostRecentButton()->setChecked(true); },
         "http://lately.test/ http://known.test/ http://often.test/ "},
        {[&] { dialog->CapBox()->setValue(2); }, "http://lately.test/ http://known.test/ "},
        {[&] { dialog->PeriodBox()->setCurrentIndex(0); },
         "http://lately.test/ http://known.test/ "},
        {[&] { dialog->SkipBox()->setChecked(true); }, "http://lately.test/ "},
        {[&] { dialog->SourceBox()->setCurrentIndex(1); }, "https://one.test/ https://two.test/ "},
    };
    for (const CStep& step : steps) {
        step.change();
        ASSERT_TRUE(WaitUntil([&] { return !dialog->Selection().empty(); })) << step.selection;
        EXPECT_EQ(Urls(dialog->Selection()), step.selection);
    }
    const CImportHistoryDlg::CChoices choices = dialog->Choices();
    EXPECT_EQ(choices.period, EHistoryPeriod::LastWeek);
    EXPECT_EQ(choices.cap, 2);
    EXPECT_EQ(choices.order, EHistoryOrder::MostRecent);

    dialog->SourceBox()->setCurrentIndex(2);
    ASSERT_TRUE(WaitUntil([&] { return dialog->EstimateLabel()->text().contains("damaged"); }));
    EXPECT_FALSE(dialog->ImportButton()->isEnabled());
    EXPECT_TRUE(dialog->Selection().empty());
}

TEST_F(ImportHistoryDlgTest, Dialog_WithoutProfilesTakesAChosenFile) {
    CImportHistoryDlg dialog({}, {}, kT);
    EXPECT_FALSE(dialog.ImportButton()->isEnabled());
    EXPECT_TRUE(dialog.EstimateLabel()->text().startsWith("No browser history was found."));
    dialog.AddFile(m_roots.configHome + "/chromium/Default/History");
    ASSERT_TRUE(WaitUntil([&] { return dialog.ImportButton()->isEnabled(); }));
    EXPECT_EQ(Urls(dialog.Selection()), "https://one.test/ https://two.test/ ");
    EXPECT_EQ(dialog.Choices().file, m_roots.configHome + "/chromium/Default/History");
}

} // namespace
