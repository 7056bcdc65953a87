#include "dialogs/helpmanual.h"

#include "dialogs/helpwindow.h"
#include "model/errorreport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace {

struct CSection {
    const char* className;
    const char* anchor;
};

// The manual's section for each dialog and pane.
constexpr CSection kSections[] = {
    {"CSearchDlg", "search"},
    {"CBrowserDlg", "browser"},
    {"CCategorizerSettingsDlg", "categorizer-settings"},
    {"CSiteFiltersDlg", "site-filters"},
    {"CSiteFilterPropertiesDlg", "site-filters"},
    {"CWordFilterDlg", "word-filter"},
    {"CSitePropertiesDlg", "site-properties"},
    {"CCategoryPropertiesDlg", "category-properties"},
    {"CCategoryRankingsDlg", "category-rankings"},
    {"CTextEntryDlg", "log-book"},
    {"CFontColorDlg", "display"},
    {"CAboutDlg", "about"},
    {"CCaptureButtonDlg", "feeding"},
    {"CErrorDlg", "messages"},
    {"CImportHistoryDlg", "import-history"},
    {"CImportProgressDlg", "import-history"},
    {"CKorvoView", "linkage-map"},
    {"CMetaView", "overview-map"},
    {"CUrlList", "log-book"},
};

CHelpManual::Opener& CurrentOpener() {
    static CHelpManual::Opener opener;
    return opener;
}

bool OpenInSystemBrowser(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

QPointer<CHelpWindow>& HelpWindow() {
    static QPointer<CHelpWindow> window;
    return window;
}

} // namespace

QString CHelpManual::FindManual(const QString& programDir) {
    const QDir dir(programDir);
    for (const QString& candidate :
         {dir.filePath(QString::fromLatin1(kFileName)),
          dir.filePath(QStringLiteral("../share/doc/wayfold/") + QString::fromLatin1(kFileName))}) {
        const QFileInfo info(candidate);
        if (info.isFile())
            return info.canonicalFilePath();
    }
    return {};
}

QString CHelpManual::AnchorOfClass(const QString& className) {
    for (const CSection& section : kSections)
        if (className == QLatin1String(section.className))
            return QString::fromLatin1(section.anchor);
    return {};
}

QString CHelpManual::AnchorFor(const QWidget* widget) {
    // The pane under the focus, then its windows from the front one down.
    for (const QWidget* inner = widget; inner && !inner->isWindow();
         inner = inner->parentWidget()) {
        const QString anchor = AnchorOfClass(QString::fromLatin1(inner->metaObject()->className()));
        if (!anchor.isEmpty())
            return anchor;
    }
    for (const QWidget* window = widget ? widget->window() : nullptr; window;
         window = window->parentWidget() ? window->parentWidget()->window() : nullptr) {
        const QString anchor =
            AnchorOfClass(QString::fromLatin1(window->metaObject()->className()));
        if (!anchor.isEmpty())
            return anchor;
    }
    return {};
}

QUrl CHelpManual::ManualUrl(const QString& anchor) {
    const QString path = FindManual(QCoreApplication::applicationDirPath());
    if (path.isEmpty())
        return {};
    QUrl url = QUrl::fromLocalFile(path);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    return url;
}

bool CHelpManual::Open(const QString& anchor) {
    const QUrl url = ManualUrl(anchor);
    if (url.isEmpty()) {
        ShowError("Can't find the user manual " + std::string(kFileName) + " beside the program " +
                  QCoreApplication::applicationDirPath().toStdString() + ".");
        return false;
    }
    QPointer<CHelpWindow>& window = HelpWindow();
    if (!window) {
        window = new CHelpWindow;
        // An open manual neither keeps the program running nor outlives it.
        window->setAttribute(Qt::WA_QuitOnClose, false);
        QObject::connect(window, &CHelpWindow::OutsideLinkClicked, window, &OpenOutside);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, [] { delete HelpWindow(); });
    }
    if (!window->ShowManual(url, anchor)) {
        ShowError("Can't read the user manual " + url.toLocalFile().toStdString() + ".");
        return false;
    }
    window->StayUsableOver(QApplication::activeModalWidget());
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}

CHelpWindow* CHelpManual::Window() {
    return HelpWindow();
}

bool CHelpManual::OpenOutside(const QUrl& url) {
    const Opener& opener = CurrentOpener();
    if (!(opener ? opener(url) : OpenInSystemBrowser(url))) {
        ShowError("Can't open " + url.toString().toStdString() + " in the browser.");
        return false;
    }
    return true;
}

void CHelpManual::SetOpener(Opener opener) {
    CurrentOpener() = std::move(opener);
}

void CHelpManual::InstallF1Key() {
    static CHelpManual* filter = nullptr;
    if (filter || !qApp)
        return;
    filter = new CHelpManual(qApp);
    qApp->installEventFilter(filter);
}

bool CHelpManual::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier || key->isAutoRepeat())
        return false;
    // A key press travels up to the parents; only the first receiver, a widget, answers it.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    if (qobject_cast<CHelpWindow*>(widget->window()))
        return true; // the manual is already in front
    Open(AnchorFor(widget));
    return true;
}
