#pragma once

#include <QListWidget>
#include <QString>
#include <QVariant>

#include <string>
#include <vector>

// A list that keeps its entries sorted without regard to case, as a sorted list box does, and
// finds entries by prefix the way such a list box does.
class CSortedListWidget : public QListWidget {
    Q_OBJECT
public:
    explicit CSortedListWidget(QWidget* parent = nullptr);

    // Inserts the text at its sorted place (after entries that compare equal) with `data` under
    // Qt::UserRole; returns the row.
    int AddString(const QString& text, const QVariant& data = {});
    // The row of the first entry beginning with `prefix` (not case-sensitive), searching from
    // the row after `start` to the end and then from row 0 up to `start`; -1 when none, or when
    // `prefix` is empty. A `start` of -1 searches from row 0.
    int FindString(int start, const QString& prefix) const;
    // The entry's data (Qt::UserRole), or an invalid value for a row out of range.
    QVariant RowData(int row) const;

    // AddString for an entry that stands for bytes (a stored word or string, not necessarily
    // UTF-8): the bytes are kept as its data, unchanged. Returns the row.
    int AddBytes(const QString& text, const std::string& bytes);
    // The bytes of every entry, in row order; an entry added without data gives an empty string.
    std::vector<std::string> AllBytes() const;

private:
    // The first row whose text is not less than `text` (not case-sensitive).
    int LowerBound(const QString& text) const;
    int UpperBound(const QString& text) const;
    bool RowBeginsWith(int row, const QString& prefix) const;
};
