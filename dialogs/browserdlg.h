#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

class CSettings;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QWidget;

// "Browser and Connection": which browser opens sites (the system's default one, or Netscape,
// Explorer or Opera started from a path) and how pages are fetched (HTTP and SOCKS proxies and
// the servers that bypass them).
class CBrowserDlg : public QDialog {
    Q_OBJECT
public:
    // Everything the dialog edits. Texts are bytes as the settings keep them.
    struct CValues {
        std::int32_t browser = 0; // 1 Netscape, 2 Explorer, 3 Opera; others show as Opera
        bool defaultBrowser = false;
        bool proxy = false;
        std::string browserPath;
        std::string httpProxyServer;
        std::int32_t httpProxyPort = 0;
        std::string socksProxyServer;
        std::int32_t socksProxyPort = 0;
        std::string noProxies;
    };

    static constexpr int kMaxNoProxiesLength = 1024; // characters
    static constexpr std::int32_t kMinPort = 1;
    static constexpr std::int32_t kMaxPort = 65535;

    explicit CBrowserDlg(const CValues& values, QWidget* parent = nullptr);

    // The edited values; after exec() returned Accepted they hold what the user confirmed.
    const CValues& Values() const { return m_values; }

    // Runs the dialog on all nine browser and connection settings; on OK copies them back with
    // leading white space taken off the two proxy server names and returns true (the caller
    // writes them). Cancel changes nothing and returns false.
    static bool EditSettings(CSettings& settings, QWidget* parent);
    // Runs the dialog with only the browser path, choice and default-browser flag filled; on OK
    // copies those three back and returns true.
    static bool EditBrowserChoice(CSettings& settings, QWidget* parent);

    // Stores the controls into the values; refuses a bypass list over kMaxNoProxiesLength
    // characters and a port outside kMinPort..kMaxPort with a message, keeping the dialog open.
    void accept() override;

    // Handlers of the controls, public so they can be driven directly.
    void OnBrowserClicked(std::int32_t browser);
    void OnUseDefaultBrowser();
    void OnUseProxy();
    // A file chooser that opens at the program the browser path names (else at /usr/bin); the
    // chosen file replaces the path's first word, the words after it stay.
    void OnBrowse();

private:
    void EnableBrowserGroup(bool enabled);
    void EnableProxyGroup(bool enabled);
    bool ReadPort(QLineEdit* edit, std::int32_t& port);
    void Refuse(const QString& message, QWidget* field);

    CValues m_values;

    QCheckBox* m_defaultBrowserBox = nullptr;
    QCheckBox* m_proxyBox = nullptr;
    QWidget* m_browserGroup = nullptr;
    QWidget* m_proxyGroup = nullptr;
    QRadioButton* m_netscape = nullptr;
    QRadioButton* m_explorer = nullptr;
    QRadioButton* m_opera = nullptr;
    QLineEdit* m_browserPath = nullptr;
    QLineEdit* m_httpProxyServer = nullptr;
    QLineEdit* m_httpProxyPort = nullptr;
    QLineEdit* m_socksProxyServer = nullptr;
    QLineEdit* m_socksProxyPort = nullptr;
    QPlainTextEdit* m_noProxies = nullptr;
};
