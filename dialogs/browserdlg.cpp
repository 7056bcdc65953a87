#include "dialogs/browserdlg.h"

#include "dialogs/displaytext.h"
#include "shell/commandwords.h"
#include "shell/programstart.h"
#include "shell/settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kNetscape = 1;
constexpr std::int32_t kExplorer = 2;
constexpr std::int32_t kOpera = 3;
constexpr int kMaxTextLength = 8191;
// Where "Browse" opens when the browser path names no program.
constexpr const char* kProgramsFolder = "/usr/bin";

// The bytes to keep for an edit: the original ones when the user left the text as shown (so
// bytes that are not UTF-8 survive), else the edited text.
std::string EditedBytes(const QString& shown, const std::string& original) {
    return shown == ToDisplayText(original) ? original : FromDisplayText(shown);
}

std::string WithoutLeadingSpace(const std::string& text) {
    const auto first =
        std::find_if(text.begin(), text.end(), [](unsigned char c) { return !std::isspace(c); });
    return std::string(first, text.end());
}

QLineEdit* MakeTextEdit(const std::string& text, const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(ToDisplayText(text), parent);
    edit->setObjectName(name);
    edit->setMaxLength(kMaxTextLength);
    return edit;
}

QLineEdit* MakePortEdit(std::int32_t port, const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(QString::number(port), parent);
    edit->setObjectName(name);
    edit->setMaxLength(5);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
}

} // namespace

CBrowserDlg::CBrowserDlg(const CValues& values, QWidget* parent)
    : QDialog(parent), m_values(values) {
    setWindowTitle(QStringLiteral("Browser and Connection"));
    setObjectName(QStringLiteral("BrowserDialog"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Set-up the browser that will load pages from Wayfold."), this));

    m_defaultBrowserBox = new QCheckBox(QStringLiteral("Use Default Browser for Computer"), this);
    m_defaultBrowserBox->setObjectName(QStringLiteral("defaultBrowser"));
    layout->addWidget(m_defaultBrowserBox);

    auto* browserBox = new QGroupBox(QStringLiteral("Browser Setup"), this);
    m_browserGroup = browserBox;
    auto* browserLayout = new QGridLayout(browserBox);
    m_netscape = new QRadioButton(QStringLiteral("Netscape"), browserBox);
    m_explorer = new QRadioButton(QStringLiteral("Explorer"), browserBox);
    m_opera = new QRadioButton(QStringLiteral("Opera"), browserBox);
    auto* radios = new QButtonGroup(this);
    for (QRadioButton* radio : {m_netscape, m_explorer, m_opera}) {
        radio->setObjectName(radio->text());
        radios->addButton(radio);
    }
    browserLayout->addWidget(m_netscape, 0, 0);
    browserLayout->addWidget(m_explorer, 0, 1);
    browserLayout->addWidget(m_opera, 0, 2);
    browserLayout->addWidget(new QLabel(QStringLiteral("Browser Path"), browserBox), 1, 0, 1, 3);
    m_browserPath = MakeTextEdit(m_values.browserPath, QStringLiteral("browserPath"), browserBox);
    browserLayout->addWidget(m_browserPath, 2, 0, 1, 2);
    auto* browse = new QPushButton(QStringLiteral("Browse"), browserBox);
    browse->setObjectName(QStringLiteral("browse"));
    browse->setAutoDefault(false);
    browserLayout->addWidget(browse, 2, 2);
    layout->addWidget(browserBox);

    m_proxyBox = new QCheckBox(QStringLiteral("Use Proxy for Internet Connection"), this);
    m_proxyBox->setObjectName(QStringLiteral("useProxy"));
    layout->addWidget(m_proxyBox);

    auto* proxyBox = new QGroupBox(QStringLiteral("Proxy Configuration"), this);
    m_proxyGroup = proxyBox;
    auto* proxyLayout = new QGridLayout(proxyBox);
    m_httpProxyServer =
        MakeTextEdit(m_values.httpProxyServer, QStringLiteral("httpProxyServer"), proxyBox);
    m_httpProxyPort =
        MakePortEdit(m_values.httpProxyPort, QStringLiteral("httpProxyPort"), proxyBox);
    m_socksProxyServer =
        MakeTextEdit(m_values.socksProxyServer, QStringLiteral("socksProxyServer"), proxyBox);
    m_socksProxyPort =
        MakePortEdit(m_values.socksProxyPort, QStringLiteral("socksProxyPort"), proxyBox);
    proxyLayout->addWidget(new QLabel(QStringLiteral("HTTP Proxy:"), proxyBox), 0, 0);
    proxyLayout->addWidget(m_httpProxyServer, 0, 1);
    proxyLayout->addWidget(m_httpProxyPort, 0, 2);
    proxyLayout->addWidget(new QLabel(QStringLiteral("SOCKS Proxy:"), proxyBox), 1, 0);
    proxyLayout->addWidget(m_socksProxyServer, 1, 1);
    proxyLayout->addWidget(m_socksProxyPort, 1, 2);
    proxyLayout->addWidget(
        new QLabel(QStringLiteral("Do Not Use Proxies For These Servers (Separate with ;'s):"),
                   proxyBox),
        2, 0, 1, 3);
    m_noProxies = new QPlainTextEdit(ToDisplayText(m_values.noProxies), proxyBox);
    m_noProxies->setObjectName(QStringLiteral("noProxies"));
    proxyLayout->addWidget(m_noProxies, 3, 0, 1, 3);
    proxyLayout->setColumnStretch(1, 1);
    layout->addWidget(proxyBox);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);

    // Initialisation: the radio from the choice, then the two switches and their groups.
    if (m_values.browser == kNetscape)
        m_netscape->setChecked(true);
    else if (m_values.browser == kExplorer)
        m_explorer->setChecked(true);
    else
        m_opera->setChecked(true);
    m_defaultBrowserBox->setChecked(m_values.defaultBrowser);
    EnableBrowserGroup(!m_values.defaultBrowser);
    m_proxyBox->setChecked(m_values.proxy);
    EnableProxyGroup(m_values.proxy);

    connect(m_netscape, &QRadioButton::clicked, this, [this] { OnBrowserClicked(kNetscape); });
    connect(m_explorer, &QRadioButton::clicked, this, [this] { OnBrowserClicked(kExplorer); });
    connect(m_opera, &QRadioButton::clicked, this, [this] { OnBrowserClicked(kOpera); });
    connect(m_defaultBrowserBox, &QCheckBox::clicked, this, &CBrowserDlg::OnUseDefaultBrowser);
    connect(m_proxyBox, &QCheckBox::clicked, this, &CBrowserDlg::OnUseProxy);
    connect(browse, &QPushButton::clicked, this, &CBrowserDlg::OnBrowse);
    connect(buttons, &QDialogButtonBox::accepted, this, &CBrowserDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CBrowserDlg::EnableBrowserGroup(bool enabled) {
    m_browserGroup->setEnabled(enabled);
}

void CBrowserDlg::EnableProxyGroup(bool enabled) {
    m_proxyGroup->setEnabled(enabled);
}

void CBrowserDlg::OnBrowserClicked(std::int32_t browser) {
    m_values.browser = browser;
    m_netscape->setChecked(browser == kNetscape);
    m_explorer->setChecked(browser == kExplorer);
    m_opera->setChecked(browser == kOpera);
}

void CBrowserDlg::OnUseDefaultBrowser() {
    m_values.defaultBrowser = !m_values.defaultBrowser;
    m_defaultBrowserBox->setChecked(m_values.defaultBrowser);
    EnableBrowserGroup(!m_values.defaultBrowser);
}

void CBrowserDlg::OnUseProxy() {
    m_values.proxy = !m_values.proxy;
    m_proxyBox->setChecked(m_values.proxy);
    EnableProxyGroup(m_values.proxy);
}

void CBrowserDlg::OnBrowse() {
    std::vector<std::string> words = SplitCommandWords(FromDisplayText(m_browserPath->text()));
    // The program the path names (a bare name is looked up in $PATH), else where browser
    // programs are installed.
    QString folder = QString::fromLatin1(kProgramsFolder);
    QString program;
    std::string resolved;
    if (!words.empty()) {
        const QFileInfo named(ToDisplayText(
            ResolveProgram(words[0], resolved) == kLaunchStarted ? resolved : words[0]));
        if (named.isFile()) {
            folder = named.absolutePath();
            program = named.absoluteFilePath();
        } else if (named.isDir()) {
            folder = named.absoluteFilePath();
        }
    }
    QFileDialog chooser(this, QStringLiteral("Browse"), folder);
    chooser.setObjectName(QStringLiteral("BrowseChooser"));
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    if (!program.isEmpty())
        chooser.selectFile(program);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return;
    // The chosen program takes the place of the first word; its arguments stay. Quoted, so a
    // folder name with blanks stays one word.
    const std::string chosen = FromDisplayText(chooser.selectedFiles().first());
    if (words.empty())
        words.push_back(chosen);
    else
        words[0] = chosen;
    m_browserPath->setText(ToDisplayText(JoinCommandWords(words)));
}

void CBrowserDlg::Refuse(const QString& message, QWidget* field) {
    QMessageBox::warning(this, QStringLiteral("Wayfold"), message);
    field->setFocus();
}

bool CBrowserDlg::ReadPort(QLineEdit* edit, std::int32_t& port) {
    bool ok = false;
    const int value = edit->text().toInt(&ok);
    if (!ok || value < kMinPort || value > kMaxPort) {
        Refuse(
            QStringLiteral("Please enter a port number from %1 to %2.").arg(kMinPort).arg(kMaxPort),
            edit);
        return false;
    }
    port = value;
    return true;
}

void CBrowserDlg::accept() {
    CValues values = m_values;
    values.browserPath = EditedBytes(m_browserPath->text(), m_values.browserPath);
    values.httpProxyServer = EditedBytes(m_httpProxyServer->text(), m_values.httpProxyServer);
    values.socksProxyServer = EditedBytes(m_socksProxyServer->text(), m_values.socksProxyServer);
    // A port the user did not touch is taken as it was, even when it is out of range.
    if (m_httpProxyPort->text() != QString::number(m_values.httpProxyPort) &&
        !ReadPort(m_httpProxyPort, values.httpProxyPort))
        return;
    if (m_socksProxyPort->text() != QString::number(m_values.socksProxyPort) &&
        !ReadPort(m_socksProxyPort, values.socksProxyPort))
        return;
    const QString noProxies = m_noProxies->toPlainText();
    if (noProxies.size() > kMaxNoProxiesLength) {
        Refuse(QStringLiteral("The list of servers that do not use the proxies holds %1 "
                              "characters. Enter no more than %2 characters.")
                   .arg(noProxies.size())
                   .arg(kMaxNoProxiesLength),
               m_noProxies);
        return;
    }
    values.noProxies = EditedBytes(noProxies, m_values.noProxies);
    m_values = values;
    QDialog::accept();
}

bool CBrowserDlg::EditSettings(CSettings& settings, QWidget* parent) {
    CValues values;
    values.browser = settings.browser;
    values.defaultBrowser = settings.defaultBrowser != 0;
    values.proxy = settings.proxy != 0;
    values.browserPath = settings.browserPath;
    values.httpProxyServer = settings.httpProxyServer;
    values.httpProxyPort = settings.httpProxyPort;
    values.socksProxyServer = settings.socksProxyServer;
    values.socksProxyPort = settings.socksProxyPort;
    values.noProxies = settings.noProxies;
    CBrowserDlg dialog(values, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const CValues& edited = dialog.Values();
    settings.browser = edited.browser;
    settings.defaultBrowser = edited.defaultBrowser ? 1 : 0;
    settings.proxy = edited.proxy ? 1 : 0;
    settings.browserPath = edited.browserPath;
    settings.httpProxyServer = WithoutLeadingSpace(edited.httpProxyServer);
    settings.httpProxyPort = edited.httpProxyPort;
    settings.socksProxyServer = WithoutLeadingSpace(edited.socksProxyServer);
    settings.socksProxyPort = edited.socksProxyPort;
    settings.noProxies = edited.noProxies;
    return true;
}

bool CBrowserDlg::EditBrowserChoice(CSettings& settings, QWidget* parent) {
    CValues values;
    values.browser = settings.browser;
    values.defaultBrowser = settings.defaultBrowser != 0;
    values.browserPath = settings.browserPath;
    CBrowserDlg dialog(values, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings.browser = dialog.Values().browser;
    settings.defaultBrowser = dialog.Values().defaultBrowser ? 1 : 0;
    settings.browserPath = dialog.Values().browserPath;
    return true;
}
