#pragma once

#include "browserlink/browserlinkowner.h"

#include <QObject>

#include <memory>
#include <string>

class CBrowserLinkSet;
class CCaptureButtonDlg;
class CMainFrame;
class QAction;
class QTimer;

// The main frame's part of following the browsers: the DDE instance, the four browser links
// and their poll on timer 1, the "&Active Mode" command and the passive-mode capture button.
// Nothing here waits for a browser: polls and captures go on from the event loop as the
// browsers answer, and a tick of timer 1 skips the links whose poll still waits.
// The main frame creates it, calls Start() once its settings and data are loaded, Stop() when
// it closes, and destroys it after its data objects.
class CBrowserWatch : public QObject, public CBrowserLinkOwner {
public:
    // Initialises DDE ("DDE could not initialize" on failure; the links are made all the same
    // and stay silent), creates the links NSShell, NETSCAPE, IEXPLORE, OPERA and starts the
    // first poll.
    explicit CBrowserWatch(CMainFrame& frame);
    // Destroys the links without unregistering the URL echoes (abandoning the verbs that still
    // wait for a browser), then ends the DDE instance.
    ~CBrowserWatch() override;

    // Adds "&Active Mode" to the Options menu and the toolbar, starts timer 1 (500 ms) and,
    // with Active Mode off, shows the capture button.
    void Start();
    // Stops timer 1 and destroys the capture button.
    void Stop();

    // On: checked command, no capture button. Off: the capture button is created and shown.
    void SetActiveMode(bool on);
    // The capture button shows its idle picture again (a page has been handled).
    void ResetCaptureButton();
    // Takes in the pages the browsers show now (the capture button's click).
    void CapturePages();

    CBrowserLinkSet& Links() { return *m_links; }
    QAction* ActiveModeAction() const { return m_activeModeAction; }
    CCaptureButtonDlg* CaptureButton() const { return m_captureButton; }
    QTimer* PollTimer() const { return m_pollTimer; }

    bool IsActiveMode() const override;
    bool IsNewUrl(const std::string& url) override;
    void StartAddUrl(const std::string& url) override;

    static constexpr int kPollIntervalMs = 500;

private:
    void ShowCaptureButton();
    void DestroyCaptureButton();

    CMainFrame& m_frame;
    std::unique_ptr<CBrowserLinkSet> m_links;
    QTimer* m_pollTimer;
    QAction* m_activeModeAction = nullptr;
    CCaptureButtonDlg* m_captureButton = nullptr;
};
