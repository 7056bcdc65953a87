#include "dialogs/sortedlistwidget.h"

namespace {

int CompareNoCase(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive);
}

} // namespace

CSortedListWidget::CSortedListWidget(QWidget* parent) : QListWidget(parent) {
    setUniformItemSizes(true);
}

int CSortedListWidget::AddString(const QString& text, const QVariant& data) {
    const int row = UpperBound(text);
    auto* item = new QListWidgetItem(text);
    if (data.isValid())
        item->setData(Qt::UserRole, data);
    insertItem(row, item);
    return row;
}

int CSortedListWidget::LowerBound(const QString& text) const {
    int low = 0;
    int high = count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (CompareNoCase(item(middle)->text(), text) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

int CSortedListWidget::UpperBound(const QString& text) const {
    int low = 0;
    int high = count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (CompareNoCase(item(middle)->text(), text) <= 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

bool CSortedListWidget::RowBeginsWith(int row, const QString& prefix) const {
    return row >= 0 && row < count() && item(row)->text().startsWith(prefix, Qt::CaseInsensitive);
}

int CSortedListWidget::FindString(int start, const QString& prefix) const {
    const int rows = count();
    if (prefix.isEmpty() || rows == 0)
        return -1;
    if (start < -1 || start >= rows)
        start = -1;
    // Entries beginning with the prefix sit together from its lower bound on, so the first one
    // after `start` is either the lower bound or the row after `start`; only when none follows
    // does the search wrap around to the first of the run.
    const int first = LowerBound(prefix);
    if (!RowBeginsWith(first, prefix))
        return -1;
    if (first > start)
        return first;
    if (RowBeginsWith(start + 1, prefix))
        return start + 1;
    return first;
}

QVariant CSortedListWidget::RowData(int row) const {
    if (row < 0 || row >= count())
        return {};
    return item(row)->data(Qt::UserRole);
}

int CSortedListWidget::AddBytes(const QString& text, const std::string& bytes) {
    return AddString(text, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::vector<std::string> CSortedListWidget::AllBytes() const {
    std::vector<std::string> all;
    all.reserve(static_cast<std::size_t>(count()));
    for (int row = 0; row < count(); ++row) {
        const QByteArray bytes = item(row)->data(Qt::UserRole).toByteArray();
        all.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    return all;
}
