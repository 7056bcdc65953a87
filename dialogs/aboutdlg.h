#pragma once

#include <QDialog>

#include <string>

// The About box: the program's picture, "Version 2.0", "Click to return to Wayfold" and the
// text of license.txt as the main frame read it at start-up. A left click anywhere on it
// closes it.
class CAboutDlg : public QDialog {
public:
    CAboutDlg(const std::string& licenseText, QWidget* parent = nullptr);

    // The program's large picture, drawn in code.
    static QPixmap Picture();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
