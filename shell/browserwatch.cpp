#include "shell/browserwatch.h"

#include "browserlink/browserlink.h"
#include "browserlink/browserlinkset.h"
#include "dialogs/capturebuttondlg.h"
#include "model/errorreport.h"
#include "shell/mainframe.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <QToolBar>

namespace {

// Toolbar picture of "&Active Mode": a browser window with an arrow into the map.
QIcon ActiveModeIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawRect(1, 2, 9, 8);
    painter.fillRect(2, 3, 8, 2, QColor(0x30, 0x50, 0x90));
    painter.setPen(QPen(QColor(0xD0, 0x20, 0x20), 2));
    painter.drawLine(7, 12, 14, 12);
    painter.drawLine(11, 9, 14, 12);
    painter.drawLine(11, 15, 14, 12);
    return QIcon(pixmap);
}

} // namespace

CBrowserWatch::CBrowserWatch(CMainFrame& frame)
    : QObject(&frame), m_frame(frame), m_pollTimer(new QTimer(this)) {
    if (!InitializeBrowserDde())
        ShowError("DDE could not initialize");
    m_links = std::make_unique<CBrowserLinkSet>(this);
    m_links->PollBrowsers();
    m_pollTimer->setInterval(kPollIntervalMs);
    connect(m_pollTimer, &QTimer::timeout, this, [this] { m_links->PollBrowsers(); });
}

CBrowserWatch::~CBrowserWatch() {
    Stop();
    m_links.reset();
    UninitializeBrowserDde();
}

void CBrowserWatch::Start() {
    m_activeModeAction = new QAction(ActiveModeIcon(), QStringLiteral("&Active Mode"), this);
    m_activeModeAction->setCheckable(true);
    m_activeModeAction->setToolTip(QStringLiteral("Follow every page the browser shows"));
    m_activeModeAction->setChecked(IsActiveMode());
    connect(m_activeModeAction, &QAction::triggered, this,
            [this] { SetActiveMode(!IsActiveMode()); });
    if (QMenu* options = m_frame.OptionsMenu())
        options->insertAction(options->actions().value(0), m_activeModeAction);
    if (QToolBar* toolBar = m_frame.ToolBar()) {
        const QList<QAction*> actions = toolBar->actions();
        toolBar->insertAction(actions.value(0), m_activeModeAction);
    }
    m_pollTimer->start();
    if (!IsActiveMode())
        ShowCaptureButton();
}

void CBrowserWatch::Stop() {
    m_pollTimer->stop();
    DestroyCaptureButton();
}

void CBrowserWatch::SetActiveMode(bool on) {
    m_frame.Settings().activeMode = on ? 1 : 0;
    if (m_activeModeAction)
        m_activeModeAction->setChecked(on);
    if (on)
        DestroyCaptureButton();
    else
        ShowCaptureButton();
}

void CBrowserWatch::ResetCaptureButton() {
    if (m_captureButton && !IsActiveMode())
        m_captureButton->SetBusy(false);
}

void CBrowserWatch::CapturePages() {
    // A click while the browsers are still being asked is dropped: that capture goes on.
    m_links->CaptureCurrentPages([this](const std::string& url) {
        if (m_captureButton)
            m_captureButton->SetBusy(true);
        m_frame.StartAddUrl(url);
    });
}

bool CBrowserWatch::IsActiveMode() const {
    return m_frame.IsActiveMode();
}

bool CBrowserWatch::IsNewUrl(const std::string& url) {
    return m_frame.IsNewUrl(url);
}

void CBrowserWatch::StartAddUrl(const std::string& url) {
    m_frame.StartAddUrl(url);
}

void CBrowserWatch::ShowCaptureButton() {
    if (!m_captureButton) {
        m_captureButton = new CCaptureButtonDlg(&m_frame);
        m_captureButton->SetCapture([this] { CapturePages(); });
    }
    m_captureButton->PlaceAndShow();
}

void CBrowserWatch::DestroyCaptureButton() {
    delete m_captureButton;
    m_captureButton = nullptr;
}
