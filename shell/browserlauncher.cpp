#include "shell/browserlauncher.h"

#include "model/errorreport.h"
#include "model/site.h"
#include "shell/browserlinkaccess.h"
#include "shell/commandwords.h"
#include "shell/programstart.h"
#include "shell/settings.h"

#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <cerrno>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

namespace {

const char* const kConfigureQuestion =
    "Error: Default browser access is not available for certain older Windows 95 (tm) "
    "set-ups. Press OK to configure browser, CANCEL to ignore.";
const char* const kNoBrowserPathQuestion =
    "No browser program is set under \"Browser Path\", so Wayfold cannot open ";
const char* const kNoBrowserPathQuestionEnd = ". Press OK to configure browser, CANCEL to ignore.";

constexpr int kBrowserNetscape = 1;
constexpr int kBrowserExplorer = 2;
constexpr int kBrowserOpera = 3;

bool IsFileUrl(const std::string& url) {
    return url.size() >= 5 && strncasecmp(url.c_str(), "file:", 5) == 0;
}

QUrl ToQUrl(const std::string& url) {
    const QString text = QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size()));
    QUrl parsed(text, QUrl::TolerantMode);
    if (parsed.scheme().isEmpty())
        parsed = QUrl::fromUserInput(text);
    return parsed;
}

bool OpenWithSystemBrowser(const std::string& url) {
    const QUrl parsed = ToQUrl(url);
    return parsed.isValid() && QDesktopServices::openUrl(parsed);
}

// The system opener starts its helper and returns before the helper finds out that a local
// file is missing, so a "file:" URL is checked here first.
int LocalFileCode(const std::string& url) {
    const QString path = ToQUrl(url).toLocalFile();
    if (path.isEmpty())
        return kLaunchStarted;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        return kLaunchStarted;
    return errno == ENOTDIR || errno == EACCES ? kLaunchPathNotFound : kLaunchFileNotFound;
}

} // namespace

CBrowserLauncher::CBrowserLauncher(const CSettings& settings, CBrowserLinkAccess* links,
                                   QWidget* dialogParent)
    : m_settings(settings), m_links(links), m_dialogParent(dialogParent),
      m_defaultOpener(OpenWithSystemBrowser) {}

void CBrowserLauncher::SetDefaultBrowserOpener(std::function<bool(const std::string&)> opener) {
    m_defaultOpener = opener ? std::move(opener) : OpenWithSystemBrowser;
}

void CBrowserLauncher::SetConfigureBrowserHandler(std::function<void()> handler) {
    m_configureBrowser = std::move(handler);
}

void CBrowserLauncher::OpenSite(const CSite* site) {
    if (site)
        OpenUrl(site->m_url);
}

void CBrowserLauncher::OpenUrl(const std::string& url) {
    Open(url, true);
}

void CBrowserLauncher::OpenMakerHomePage() {
    Open(kMakerHomePage, false);
}

void CBrowserLauncher::Open(const std::string& url, bool askOnDefaultFailure) {
    if (m_settings.defaultBrowser)
        OpenWithDefaultBrowser(url, askOnDefaultFailure);
    else
        OpenWithNamedBrowser(url);
}

void CBrowserLauncher::OpenWithDefaultBrowser(const std::string& url, bool askOnFailure) {
    int code = IsFileUrl(url) ? LocalFileCode(url) : kLaunchStarted;
    // An opener that cannot start anything for the URL counts as the browser not being found.
    if (code == kLaunchStarted && !m_defaultOpener(url))
        code = kLaunchFileNotFound;
    if (code == kLaunchStarted)
        return;
    if (IsFileUrl(url) || !askOnFailure)
        ReportLaunchError(code, url);
    else
        AskToConfigureBrowser(kConfigureQuestion);
}

void CBrowserLauncher::OpenWithNamedBrowser(const std::string& url) {
    const auto registered = [this](EBrowserLinkIndex which) {
        return m_links && m_links->IsRegistered(which);
    };
    const auto sendTo = [this, &url](EBrowserLinkIndex which) { m_links->OpenUrl(which, url); };
    switch (m_settings.browser) {
    case kBrowserNetscape:
        if (registered(kLinkNetscape))
            sendTo(kLinkNetscape);
        else if (registered(kLinkNSShell))
            sendTo(kLinkNSShell);
        else
            StartBrowserProgram(url);
        break;
    case kBrowserExplorer:
        if (registered(kLinkIExplore))
            sendTo(kLinkIExplore);
        else
            StartBrowserProgram(url);
        break;
    case kBrowserOpera:
        if (registered(kLinkOpera))
            sendTo(kLinkOpera);
        else
            StartBrowserProgram(url);
        break;
    default:
        break;
    }
}

void CBrowserLauncher::StartBrowserProgram(const std::string& url) {
    const std::vector<std::string> words = SplitCommandWords(m_settings.browserPath);
    // No default browser was found when the settings were made, and none has been set since.
    if (words.empty()) {
        AskToConfigureBrowser(kNoBrowserPathQuestion + url + kNoBrowserPathQuestionEnd);
        return;
    }
    const int code = StartProgram(words, url);
    if (code != kLaunchStarted)
        ReportLaunchError(code, m_settings.browserPath + " " + url);
}

void CBrowserLauncher::AskToConfigureBrowser(const std::string& text) {
    QMessageBox question(QMessageBox::Warning, QStringLiteral("Wayfold"),
                         QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                         QMessageBox::Ok | QMessageBox::Cancel, m_dialogParent);
    question.setDefaultButton(QMessageBox::Ok);
    if (question.exec() == QMessageBox::Ok && m_configureBrowser)
        m_configureBrowser();
}

std::string CBrowserLauncher::LaunchErrorText(int code, const std::string& command) {
    switch (code) {
    case kLaunchOutOfMemory:
        return "Can't start " + command + ". Out of memory.";
    case kLaunchFileNotFound:
        return "Can't find " + command + ".";
    case kLaunchPathNotFound:
        return "Invalid path " + command + ".";
    case kLaunchBadFormat:
        return "Can't start " + command + ". Invalid executable.";
    default:
        return {};
    }
}

void CBrowserLauncher::ReportLaunchError(int code, const std::string& command) {
    const std::string text = LaunchErrorText(code, command);
    if (!text.empty())
        ShowError(text);
}
