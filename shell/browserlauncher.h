#pragma once

#include <functional>
#include <string>

class CBrowserLinkAccess;
class CSettings;
class CSite;
class QWidget;

// Shows URLs in a web browser, as the settings choose: the system's default browser
// ("Default Browser" 1), or the named browser ("Browser" 1 Netscape, 2 Internet Explorer,
// 3 Opera) through its registered browser link, else by starting "Browser Path" with the URL.
// "Browser Path" is split into words as a shell would split it, without any expansion, and the
// URL is passed as one more argument: no shell ever sees the URL. An empty "Browser Path"
// asks the user to configure the browser.
// Failures are reported through ShowError; nothing is returned.
class CBrowserLauncher {
public:
    // The maker's home page, opened from the Help menu.
    static constexpr const char* kMakerHomePage = "https://www.quellon.example/";

    // Settings and links are not owned and are read at each call; `links` may be null (no link
    // is then registered). `dialogParent` parents the configuration question.
    CBrowserLauncher(const CSettings& settings, CBrowserLinkAccess* links, QWidget* dialogParent);

    // Shows the site's URL. A null site does nothing.
    void OpenSite(const CSite* site);
    // Shows the URL; a failing default browser for a non-"file:" URL asks the configuration
    // question instead of reporting an error.
    void OpenUrl(const std::string& url);
    // Shows kMakerHomePage; any failure of the default browser is reported.
    void OpenMakerHomePage();

    // The message of a launch code for the command (program and URL, or the URL alone);
    // empty for codes without a message.
    static std::string LaunchErrorText(int code, const std::string& command);
    // Shows LaunchErrorText through ShowError when it is not empty.
    static void ReportLaunchError(int code, const std::string& command);

    // Replaces the system's default browser (tests). The opener returns false when nothing
    // could be started for the URL.
    void SetDefaultBrowserOpener(std::function<bool(const std::string& url)> opener);
    // Called when the user answers OK to the configuration question: opens the browser
    // settings. Without a handler OK does nothing more.
    void SetConfigureBrowserHandler(std::function<void()> handler);

private:
    void Open(const std::string& url, bool askOnDefaultFailure);
    void OpenWithDefaultBrowser(const std::string& url, bool askOnFailure);
    void OpenWithNamedBrowser(const std::string& url);
    void StartBrowserProgram(const std::string& url);
    void AskToConfigureBrowser(const std::string& text);

    const CSettings& m_settings;
    CBrowserLinkAccess* m_links;
    QWidget* m_dialogParent;
    std::function<bool(const std::string&)> m_defaultOpener;
    std::function<void()> m_configureBrowser;
};
