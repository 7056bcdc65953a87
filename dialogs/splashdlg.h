#pragma once

#include <QPixmap>
#include <QSplashScreen>

// The start-up picture. Widgets live on the GUI thread, so the application shows it there
// (not on a thread of its own) before it builds the main window, and calls
// CloseWhenShown(mainWindow).
class CSplashDlg : public QSplashScreen {
    Q_OBJECT
public:
    CSplashDlg();

    // Closes the picture as soon as `mainWindow` is shown (at once when it is visible already).
    // Never blocks; the main window is not owned.
    void CloseWhenShown(QWidget* mainWindow);

    // The product picture, drawn in code: a small link map on the map colours with the name.
    static QPixmap ProductPicture();
    static constexpr int kWidth = 603;
    static constexpr int kHeight = 341;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_mainWindow = nullptr;
};
