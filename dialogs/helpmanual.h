#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class CHelpWindow;
class QWidget;

// The user manual (manual.html, shipped beside the program), shown in Wayfold's own help
// window: "&Help Topics" opens it at its top, F1 at the section of the dialog or pane in front.
// Links in the manual to anywhere else open in the system's browser.
class CHelpManual : public QObject {
    Q_OBJECT
public:
    using Opener = std::function<bool(const QUrl& url)>;

    static constexpr const char* kFileName = "manual.html";

    // The manual for a program in `programDir`: manual.html beside it, else in
    // ../share/doc/wayfold/ (an installed program). Empty when neither exists.
    static QString FindManual(const QString& programDir);
    // The section anchor for F1 over `widget`: that of its window, or of the window under it
    // (a message box over a dialog); empty for the main window and unknown windows.
    static QString AnchorFor(const QWidget* widget);
    // The anchor of one window or pane class (the class name as moc knows it); empty when the
    // manual has no section for it.
    static QString AnchorOfClass(const QString& className);

    // Shows the manual at `anchor` (the top when empty) in the help window, raised and usable
    // even over a modal dialog. A missing or unreadable manual is reported through ShowError;
    // returns whether the manual is shown.
    static bool Open(const QString& anchor = {});
    // The manual of the running program at `anchor`; empty URL when there is no manual.
    static QUrl ManualUrl(const QString& anchor = {});
    // The help window; null until the manual was first shown.
    static CHelpWindow* Window();

    // Opens a link that leads out of the manual through the opener, the system's browser unless
    // replaced; a failure is reported through ShowError. Returns whether it was handed over.
    static bool OpenOutside(const QUrl& url);
    // Replaces the system's browser (tests); a null opener restores it.
    static void SetOpener(Opener opener);

    // Makes F1 open the manual at the section of the window it is pressed in, for the whole
    // application. Call once; the filter lives as long as the application.
    static void InstallF1Key();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};
