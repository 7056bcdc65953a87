#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// The user manual (manual.html, shipped beside the program): "&Help Topics" opens it in the
// browser, and F1 opens it at the section of the dialog or pane in front.
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

    // Opens the manual at `anchor` (the top when empty) through the opener, the system's
    // browser unless replaced. A missing manual or a failing opener is reported through
    // ShowError; returns whether the manual was handed to the browser.
    static bool Open(const QString& anchor = {});
    // The manual of the running program at `anchor`; empty URL when there is no manual.
    static QUrl ManualUrl(const QString& anchor = {});
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
