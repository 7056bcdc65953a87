#pragma once

#include <QDialog>

#include <functional>

class QPushButton;

// The passive-mode capture button: a tiny window "QUORL: Passive Mode", always on top, that is
// one picture button. A click hands over to the capture (see SetCapture); the button shows the
// busy picture from the first page taken until the main frame sets it idle again.
class CCaptureButtonDlg : public QDialog {
public:
    explicit CCaptureButtonDlg(QWidget* parent = nullptr);

    // What a click does.
    void SetCapture(std::function<void()> capture) { m_capture = std::move(capture); }
    void SetBusy(bool busy);
    bool IsBusy() const { return m_busy; }
    QPushButton* Button() const { return m_button; }

    // Places the window at the right edge of its screen, halfway down: x = screen width -
    // client width - 10, y = screen height / 2; then raises and shows it.
    void PlaceAndShow();

    static QIcon IdleIcon();
    static QIcon BusyIcon();

private:
    QPushButton* m_button;
    std::function<void()> m_capture;
    bool m_busy = false;
};
