#include "dialogs/helpwindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QStyle>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kAnchorRole = Qt::UserRole;

// The first anchor name (an "id" or "a name") in the block, or empty.
QString AnchorOf(const QTextBlock& block) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QStringList names = it.fragment().charFormat().anchorNames();
        if (!names.isEmpty())
            return names.first();
    }
    return {};
}

QToolButton* NavigationButton(QStyle::StandardPixmap icon, const QString& text, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setText(text);
    button->setToolTip(text);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setEnabled(false);
    return button;
}
} // namespace

CHelpWindow::CHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Wayfold Help"));
    setObjectName(QStringLiteral("HelpWindow"));

    m_back = NavigationButton(QStyle::SP_ArrowBack, QStringLiteral("Back"), this);
    m_forward = NavigationButton(QStyle::SP_ArrowForward, QStringLiteral("Forward"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_back);
    buttons->addWidget(m_forward);
    buttons->addStretch(1);

    m_contents = new QTreeWidget(this);
    m_contents->setObjectName(QStringLiteral("Contents"));
    m_contents->setHeaderLabel(QStringLiteral("Contents"));
    m_contents->setRootIsDecorated(false);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("Manual"));
    m_browser->setOpenLinks(false); // every link goes through FollowLink

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_contents);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 680});

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);
    resize(900, 650);

    connect(m_back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &CHelpWindow::FollowLink);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &CHelpWindow::OnSourceChanged);
    connect(m_contents, &QTreeWidget::itemClicked, this, &CHelpWindow::OnContentsItemClicked);
    connect(m_contents, &QTreeWidget::itemActivated, this, &CHelpWindow::OnContentsItemClicked);
}

bool CHelpWindow::ShowManual(const QUrl& manual, const QString& anchor) {
    QUrl file = manual.adjusted(QUrl::RemoveFragment);
    if (!QFileInfo(file.toLocalFile()).isReadable())
        return false;
    QUrl target = file;
    if (!anchor.isEmpty())
        target.setFragment(anchor);
    if (file != m_manual) {
        m_manual = file;
        m_browser->clearHistory();
        m_browser->setSource(target);
        FillContents();
        OnSourceChanged(target); // the contents did not exist when the source changed
        return true;
    }
    m_browser->setSource(target);
    return true;
}

void CHelpWindow::StayUsableOver(QWidget* modal) {
    QWidget* owner = modal ? modal->window() : nullptr;
    if (owner == this || parentWidget() == owner)
        return;
    Reparent(owner);
}

void CHelpWindow::Reparent(QWidget* owner) {
    const QRect frame = geometry();
    const bool visible = isVisible();
    if (QWidget* old = parentWidget())
        old->removeEventFilter(this);
    setParent(owner, Qt::Window);
    setGeometry(frame);
    if (owner)
        owner->installEventFilter(this);
    if (visible)
        show();
}

// The Hide event reaches the dialog before its child windows are hidden, so the window leaves
// it in time and stays open.
bool CHelpWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Hide)
        Reparent(nullptr);
    return QWidget::eventFilter(watched, event);
}

QString CHelpWindow::CurrentAnchor() const {
    return m_browser->source().fragment();
}

// Every second-level heading with an anchor is a section of the manual.
void CHelpWindow::FillContents() {
    m_contents->clear();
    for (QTextBlock block = m_browser->document()->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() != 2)
            continue;
        const QString anchor = AnchorOf(block);
        if (anchor.isEmpty())
            continue;
        auto* item = new QTreeWidgetItem(m_contents, {block.text().trimmed()});
        item->setData(0, kAnchorRole, anchor);
    }
}

bool CHelpWindow::IsManual(const QUrl& url) const {
    return url.adjusted(QUrl::RemoveFragment) == m_manual;
}

void CHelpWindow::FollowLink(const QUrl& link) {
    const QUrl resolved = m_browser->source().resolved(link);
    if (IsManual(resolved))
        m_browser->setSource(resolved);
    else
        emit OutsideLinkClicked(resolved);
}

void CHelpWindow::OnSourceChanged(const QUrl& source) {
    const QString anchor = source.fragment();
    for (int i = 0; i < m_contents->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_contents->topLevelItem(i);
        if (item->data(0, kAnchorRole).toString() == anchor) {
            m_contents->setCurrentItem(item);
            return;
        }
    }
    m_contents->setCurrentItem(nullptr);
}

void CHelpWindow::OnContentsItemClicked(QTreeWidgetItem* item) {
    if (!item)
        return;
    QUrl target = m_manual;
    target.setFragment(item->data(0, kAnchorRole).toString());
    m_browser->setSource(target);
}
