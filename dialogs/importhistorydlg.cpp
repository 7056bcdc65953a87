#include "dialogs/importhistorydlg.h"

#include "dialogs/displaytext.h"
#include "shell/historyreadtask.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr int kDefaultCap = 1000;

struct CPeriodChoice {
    EHistoryPeriod period;
    const char* text;
};

constexpr CPeriodChoice kPeriods[] = {
    {EHistoryPeriod::LastWeek, "Last week"},
    {EHistoryPeriod::LastMonth, "Last month"},
    {EHistoryPeriod::LastYear, "Last year"},
    {EHistoryPeriod::All, "All"},
};

QString Count(std::size_t count) {
    return QLocale().toString(static_cast<qulonglong>(count));
}

} // namespace

CImportHistoryDlg::CImportHistoryDlg(const std::vector<CBrowserProfile>& profiles,
                                     std::function<bool(const std::string&)> isKnown,
                                     std::int64_t now, QWidget* parent)
    : QDialog(parent), m_isKnown(std::move(isKnown)), m_now(now),
      m_task(new CHistoryReadTask(this)) {
    setWindowTitle(QStringLiteral("Import Browser History"));
    setObjectName(QStringLiteral("ImportHistoryDialog"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Wayfold fetches the pages of a browser's history and maps them as if "
                       "you had just visited them."),
        this));

    auto* form = new QFormLayout;
    auto* sourceRow = new QHBoxLayout;
    m_source = new QComboBox(this);
    m_source->setObjectName(QStringLiteral("source"));
    m_source->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* chooseFile = new QPushButton(QStringLiteral("Choose &File..."), this);
    chooseFile->setObjectName(QStringLiteral("chooseFile"));
    sourceRow->addWidget(m_source, 1);
    sourceRow->addWidget(chooseFile);
    form->addRow(QStringLiteral("&History:"), sourceRow);

    m_period = new QComboBox(this);
    m_period->setObjectName(QStringLiteral("period"));
    for (const CPeriodChoice& choice : kPeriods)
        m_period->addItem(QString::fromLatin1(choice.text), static_cast<int>(choice.period));
    m_period->setCurrentIndex(m_period->count() - 1);
    form->addRow(QStringLiteral("&Period:"), m_period);

    auto* capRow = new QHBoxLayout;
    m_cap = new QSpinBox(this);
    m_cap->setObjectName(QStringLiteral("cap"));
    m_cap->setRange(1, kMaxCap);
    m_cap->setValue(kDefaultCap);
    m_cap->setGroupSeparatorShown(true);
    m_mostVisited = new QRadioButton(QStringLiteral("most &visited first"), this);
    m_mostRecent = new QRadioButton(QStringLiteral("most &recent first"), this);
    m_mostVisited->setChecked(true);
    capRow->addWidget(m_cap);
    capRow->addWidget(m_mostVisited);
    capRow->addWidget(m_mostRecent);
    capRow->addStretch(1);
    form->addRow(QStringLiteral("At &most:"), capRow);
    layout->addLayout(form);

    m_skipKnown = new QCheckBox(QStringLiteral("Skip pages already in Wayfold"), this);
    m_skipKnown->setObjectName(QStringLiteral("skipKnown"));
    m_skipKnown->setChecked(true);
    layout->addWidget(m_skipKnown);

    m_estimate = new QLabel(this);
    m_estimate->setObjectName(QStringLiteral("estimate"));
    m_estimate->setWordWrap(true);
    layout->addWidget(m_estimate);

    auto* buttons = new QDialogButtonBox(this);
    m_import = buttons->addButton(QStringLiteral("&Import"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(chooseFile, &QPushButton::clicked, this, &CImportHistoryDlg::ChooseFile);

    for (const CBrowserProfile& profile : profiles)
        AddSource(profile.browser + ", profile " + profile.profile, profile.historyFile);
    if (m_sources.empty())
        m_source->addItem(QStringLiteral("(no browser history found: choose a file)"));

    const auto changed = [this] {
        if (!m_sources.empty())
            Request(CurrentKey());
        UpdateEstimate();
    };
    connect(m_source, &QComboBox::currentIndexChanged, this, changed);
    connect(m_period, &QComboBox::currentIndexChanged, this, changed);
    connect(m_mostRecent, &QRadioButton::toggled, this, changed);
    connect(m_cap, &QSpinBox::valueChanged, this, &CImportHistoryDlg::UpdateEstimate);
    connect(m_skipKnown, &QCheckBox::toggled, this, &CImportHistoryDlg::UpdateEstimate);

    // The chosen history first, then the page counts of the others.
    if (!m_sources.empty())
        Request(CurrentKey());
    for (const CSource& source : m_sources)
        Request({source.file, static_cast<int>(EHistoryPeriod::All),
                 static_cast<int>(EHistoryOrder::MostVisited)});
    UpdateEstimate();
}

CImportHistoryDlg::~CImportHistoryDlg() = default;

CImportHistoryDlg::CChoices CImportHistoryDlg::Choices() const {
    CChoices choices;
    const int index = m_source->currentIndex();
    if (index >= 0 && index < static_cast<int>(m_sources.size())) {
        choices.file = m_sources[index].file;
        choices.sourceName = m_sources[index].name;
    }
    choices.period = static_cast<EHistoryPeriod>(m_period->currentData().toInt());
    choices.cap = m_cap->value();
    choices.order =
        m_mostRecent->isChecked() ? EHistoryOrder::MostRecent : EHistoryOrder::MostVisited;
    choices.skipKnown = m_skipKnown->isChecked();
    return choices;
}

std::vector<CHistoryPage> CImportHistoryDlg::Selection() const {
    if (m_sources.empty())
        return {};
    const auto read = m_reads.find(CurrentKey());
    if (read == m_reads.end())
        return {};
    const CChoices choices = Choices();
    return SelectHistoryPages(read->second.pages, static_cast<std::size_t>(choices.cap),
                              choices.skipKnown ? m_isKnown : nullptr);
}

void CImportHistoryDlg::AddFile(const std::string& file) {
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        if (m_sources[i].file == file) {
            m_source->setCurrentIndex(static_cast<int>(i));
            return;
        }
    }
    if (m_sources.empty())
        m_source->clear();
    AddSource(file, file);
    m_source->setCurrentIndex(static_cast<int>(m_sources.size()) - 1);
    Request(CurrentKey());
    Request({file, static_cast<int>(EHistoryPeriod::All),
             static_cast<int>(EHistoryOrder::MostVisited)});
    UpdateEstimate();
}

void CImportHistoryDlg::AddSource(const std::string& name, const std::string& file) {
    m_sources.push_back({name, file});
    m_source->addItem(ToDisplayText(name));
    UpdateSourceText(static_cast<int>(m_sources.size()) - 1);
}

void CImportHistoryDlg::ChooseFile() {
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Choose a Browser History"), QString(),
        QStringLiteral("Browser histories (places.sqlite History);;All files (*)"));
    if (!file.isEmpty())
        AddFile(file.toStdString());
}

CImportHistoryDlg::CReadKey CImportHistoryDlg::CurrentKey() const {
    const CChoices choices = Choices();
    return {choices.file, static_cast<int>(choices.period), static_cast<int>(choices.order)};
}

void CImportHistoryDlg::Request(const CReadKey& key) {
    if (m_reads.contains(key) || m_pending.contains(key))
        return;
    m_pending[key] = true;
    const auto& [file, period, order] = key;
    const CHistoryQuery query{PeriodStart(static_cast<EHistoryPeriod>(period), m_now),
                              static_cast<EHistoryOrder>(order)};
    m_task->Read(file, query,
                 [this, key](CHistoryReadResult result) { ReadArrived(key, std::move(result)); });
}

void CImportHistoryDlg::ReadArrived(const CReadKey& key, CHistoryReadResult result) {
    m_pending.erase(key);
    m_reads[key] = std::move(result);
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        if (m_sources[i].file == std::get<0>(key))
            UpdateSourceText(static_cast<int>(i));
    }
    UpdateEstimate();
}

void CImportHistoryDlg::UpdateSourceText(int index) {
    const CSource& source = m_sources[static_cast<std::size_t>(index)];
    const auto read = m_reads.find({source.file, static_cast<int>(EHistoryPeriod::All),
                                    static_cast<int>(EHistoryOrder::MostVisited)});
    QString text = ToDisplayText(source.name);
    if (read == m_reads.end())
        text += QStringLiteral(" (counting pages...)");
    else if (!read->second.error.empty())
        text += QStringLiteral(" (cannot be read)");
    else
        text += QStringLiteral(" (%1 pages)").arg(Count(read->second.pages.size()));
    m_source->setItemText(index, text);
}

void CImportHistoryDlg::UpdateEstimate() {
    m_import->setEnabled(false);
    if (m_sources.empty()) {
        m_estimate->setText(QStringLiteral("No browser history was found. Choose a places.sqlite "
                                           "(Firefox) or History (Chromium) file."));
        return;
    }
    const auto read = m_reads.find(CurrentKey());
    if (read == m_reads.end()) {
        m_estimate->setText(QStringLiteral("Reading the history..."));
        return;
    }
    if (!read->second.error.empty()) {
        m_estimate->setText(ToDisplayText(read->second.error));
        return;
    }
    const std::size_t count = Selection().size();
    m_estimate->setText(count == 0
                            ? QStringLiteral("No pages to import.")
                            : QStringLiteral("%1 pages will be imported.").arg(Count(count)));
    m_import->setEnabled(count > 0);
}
