#pragma once

#include "history/browserprofiles.h"
#include "history/historyreader.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

class CHistoryReadTask;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

// "Import Browser History": which browser history (the profiles found, with their number of
// pages, or a file the user picks), the period, a cap on pages taken most visited or most
// recent first, "Skip pages already in Wayfold", and the estimated count. Histories are read
// in the background; the dialog stays live while they are.
class CImportHistoryDlg : public QDialog {
    Q_OBJECT
public:
    struct CChoices {
        std::string file;       // the history chosen
        std::string sourceName; // as shown: "Firefox, profile default-esr", or the file
        EHistoryPeriod period = EHistoryPeriod::All;
        int cap = 1000;
        EHistoryOrder order = EHistoryOrder::MostVisited;
        bool skipKnown = true;
    };
    static constexpr int kMaxCap = 100000;

    // `isKnown` tells whether Wayfold has a page already; `now` (seconds since 1970) ends the
    // periods.
    CImportHistoryDlg(const std::vector<CBrowserProfile>& profiles,
                      std::function<bool(const std::string&)> isKnown, std::int64_t now,
                      QWidget* parent = nullptr);
    ~CImportHistoryDlg() override;

    CChoices Choices() const;
    // The pages the choices take, in order; empty until the current history has been read.
    std::vector<CHistoryPage> Selection() const;
    // Adds a history file as a source and chooses it ("Choose File..." does this).
    void AddFile(const std::string& file);

    // For tests.
    QComboBox* SourceBox() const { return m_source; }
    QComboBox* PeriodBox() const { return m_period; }
    QSpinBox* CapBox() const { return m_cap; }
    QRadioButton* MostRecentButton() const { return m_mostRecent; }
    QCheckBox* SkipBox() const { return m_skipKnown; }
    QLabel* EstimateLabel() const { return m_estimate; }
    QPushButton* ImportButton() const { return m_import; }

private:
    struct CSource {
        std::string name;
        std::string file;
    };
    using CReadKey = std::tuple<std::string, int, int>; // file, period, order

    void AddSource(const std::string& name, const std::string& file);
    void ChooseFile();
    CReadKey CurrentKey() const;
    void Request(const CReadKey& key);
    void ReadArrived(const CReadKey& key, CHistoryReadResult result);
    void UpdateSourceText(int index);
    void UpdateEstimate();

    std::function<bool(const std::string&)> m_isKnown;
    std::int64_t m_now;
    std::vector<CSource> m_sources;
    std::map<CReadKey, CHistoryReadResult> m_reads;
    std::map<CReadKey, bool> m_pending;
    CHistoryReadTask* m_task = nullptr;

    QComboBox* m_source = nullptr;
    QComboBox* m_period = nullptr;
    QSpinBox* m_cap = nullptr;
    QRadioButton* m_mostVisited = nullptr;
    QRadioButton* m_mostRecent = nullptr;
    QCheckBox* m_skipKnown = nullptr;
    QLabel* m_estimate = nullptr;
    QPushButton* m_import = nullptr;
};
