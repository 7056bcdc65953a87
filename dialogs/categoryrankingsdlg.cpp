#include "dialogs/categoryrankingsdlg.h"

#include "common/debuglog.h"
#include "dialogs/displaytext.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"

#include <QDialogButtonBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {
constexpr int kCategoryRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;

// Room for a line edit's text margins (Qt keeps two pixels each side) and the title bar's
// buttons.
constexpr int kLineEditTextMargin = 2;
constexpr int kTitleBarButtons = 120;

const QString kHint = QStringLiteral("Shift-Left Mouse to select blocks of categories, "
                                     "Ctrl-Left Mouse to select multiple categories");

// The width at which the field shows its whole text: the text, its margins and the frame.
int WidthShowingAll(const QLineEdit& field) {
    QStyleOptionFrame frame;
    frame.initFrom(&field);
    const QSize text(field.fontMetrics().horizontalAdvance(field.text()) + 2 * kLineEditTextMargin,
                     field.sizeHint().height());
    return field.style()->sizeFromContents(QStyle::CT_LineEdit, &frame, text, &field).width();
}
} // namespace

CCategoryRankingsDlg::CCategoryRankingsDlg(CSite& site, CCategoryTree& categories, QWidget* parent)
    : QDialog(parent), m_site(site), m_categories(categories) {
    DebugLog("Creating Ranking dialog.");
    DebugLog("Initializing ranking dialog.");
    setWindowTitle(ToDisplayText(site.m_title.size() < 2 ? site.m_url : site.m_title));

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("rankings"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setIconSize(QSize(kBarWidth, kBarHeight));
    m_list->setMinimumWidth(250 + 2 * m_list->frameWidth());

    auto* hint = new QLineEdit(kHint, this);
    hint->setObjectName(QStringLiteral("hint"));
    hint->setReadOnly(true);
    hint->setCursorPosition(0);
    hint->setMinimumWidth(WidthShowingAll(*hint));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCategoryRankingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(hint);
    layout->addWidget(buttons);

    FillList();
    FitCaption();
    DebugLog("Finishing initializing ranking dialog.");
}

// The window manager draws the caption; the dialog's own font and room for the title bar's
// buttons estimate what a long site title needs. Never wider than the screen.
void CCategoryRankingsDlg::FitCaption() {
    const int captionWidth = fontMetrics().horizontalAdvance(windowTitle()) + kTitleBarButtons;
    int width = std::max(sizeHint().width(), captionWidth);
    if (const QScreen* shown = screen())
        width = std::min(width, shown->availableGeometry().width() * 9 / 10);
    resize(std::max(width, minimumSizeHint().width()), sizeHint().height());
}

int CCategoryRankingsDlg::ScoreLevel(double score) {
    if (score == 1.0) {
        return 0;
    }
    constexpr std::array<double, 7> kThresholds{0.75, 0.65, 0.55, 0.45, 0.35, 0.25, 0.15};
    for (std::size_t i = 0; i < kThresholds.size(); ++i) {
        if (score > kThresholds[i]) {
            return static_cast<int>(i) + 1;
        }
    }
    return 8;
}

QPixmap CCategoryRankingsDlg::BarImage(int level) {
    QImage image(kBarWidth, kBarHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, kBarWidth - 1, kBarHeight - 1);
    const int clamped = std::clamp(level, 0, kLevelCount - 1);
    // Level 8 still shows a sliver; level 0 fills the frame.
    const int filled = (kBarWidth - 2) * (kLevelCount - clamped) / kLevelCount;
    const QColor color =
        QColor::fromHsv(120 * (kLevelCount - 1 - clamped) / (kLevelCount - 1), 220, 200);
    painter.fillRect(1, 1, filled, kBarHeight - 2, color);
    painter.end();
    return QPixmap::fromImage(image);
}

void CCategoryRankingsDlg::FillList() {
    // Walking down and inserting at the top leaves the list in ascending slot order.
    for (int slot = m_categories.SlotCount() - 1; slot >= 0; --slot) {
        CCategory* category = m_categories.CategoryAt(slot);
        if (category == nullptr || !(category->m_score > 0.0)) {
            continue;
        }
        const int level = ScoreLevel(category->m_score);
        auto* item = new QListWidgetItem(QIcon(BarImage(level)), ToDisplayText(category->m_name));
        item->setData(kCategoryRole, QVariant::fromValue(static_cast<void*>(category)));
        item->setData(kLevelRole, level);
        m_list->insertItem(0, item);
    }
    if (m_list->count() > 0) {
        m_list->setCurrentRow(0);
        m_list->item(0)->setSelected(true);
    }
}

std::vector<CCategory*> CCategoryRankingsDlg::ListedCategories() const {
    std::vector<CCategory*> listed;
    for (int row = 0; row < m_list->count(); ++row) {
        listed.push_back(
            static_cast<CCategory*>(m_list->item(row)->data(kCategoryRole).value<void*>()));
    }
    return listed;
}

void CCategoryRankingsDlg::accept() {
    for (int row = 0; row < m_list->count(); ++row) {
        const QListWidgetItem* item = m_list->item(row);
        if (!item->isSelected()) {
            continue;
        }
        auto* category = static_cast<CCategory*>(item->data(kCategoryRole).value<void*>());
        category->AddSite(&m_site);
        if (CMainFrame* frame = MainFrame())
            frame->Document()->NoteSiteFiled(category, &m_site);
    }
    QDialog::accept();
}

void CCategoryRankingsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    raise();
    activateWindow();
}
