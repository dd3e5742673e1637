#include "OverviewModel.h"

#include "Roster.h"

#include <QCollator>
#include <QStandardItemModel>

namespace seiseki {

namespace {

constexpr int kSortRole = Qt::UserRole + 1;
constexpr int kRowRole = Qt::UserRole + 2; // the row's place in the class list's order

const QCollator& collator() {
    static const QCollator c = [] {
        QCollator japanese(QLocale(QLocale::Japanese, QLocale::Japan));
        japanese.setNumericMode(true);
        japanese.setCaseSensitivity(Qt::CaseInsensitive);
        return japanese;
    }();
    return c;
}

} // namespace

OverviewModel::OverviewModel(QObject* parent)
    : QSortFilterProxyModel(parent), source_(new QStandardItemModel(0, int(overviewHeaders().size()), this)) {
    source_->setHorizontalHeaderLabels(overviewHeaders());
    setSourceModel(source_);
    setSortRole(kSortRole);
}

void OverviewModel::setRows(const QList<OverviewRow>& rows) {
    rows_ = rows;
    keys_.clear();
    source_->setRowCount(0);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const OverviewRow& row = rows[r];
        keys_ << searchKey(row.learner) + QLatin1Char('\n') + searchKey(row.furigana);
        QList<QStandardItem*> items;
        const QVariantList values = overviewValues(row);
        for (qsizetype c = 0; c < values.size(); ++c) {
            auto* item = new QStandardItem(displayText(values[c]));
            // The number column sorts back into the class list's order; the name by its reading.
            const QVariant sortBy = c == kNumberColumn ? QVariant(int(r))
                                    : c == kNameColumn
                                        ? QVariant(row.furigana.isEmpty() ? row.learner : row.furigana)
                                        : values[c];
            item->setData(sortBy, kSortRole);
            item->setData(int(r), kRowRole);
            if (c == kNameColumn && !row.furigana.isEmpty())
                item->setToolTip(row.furigana);
            if (c == kNumberColumn || c >= kFirstFigureColumn)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            items << item;
        }
        source_->appendRow(items);
    }
}

void OverviewModel::setSearch(const QString& text) {
    search_ = searchKey(text);
    invalidateFilter();
}

void OverviewModel::setClass(const QString& className) {
    class_ = className.trimmed();
    invalidateFilter();
}

QList<OverviewRow> OverviewModel::shownRows() const {
    QList<OverviewRow> shown;
    for (int r = 0; r < rowCount(); ++r)
        shown << rows_.value(index(r, 0).data(kRowRole).toInt());
    return shown;
}

bool OverviewModel::filterAcceptsRow(int row, const QModelIndex&) const {
    const OverviewRow& r = rows_[row];
    if (!class_.isEmpty() && r.className.compare(class_, Qt::CaseInsensitive) != 0)
        return false;
    return search_.isEmpty() || keys_[row].contains(search_);
}

bool OverviewModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QVariant a = left.data(kSortRole);
    const QVariant b = right.data(kSortRole);
    const bool ascending = sortOrder() == Qt::AscendingOrder;
    // Rows without a figure come last whichever way the column is sorted.
    if (a.isValid() != b.isValid())
        return ascending ? a.isValid() : !a.isValid();
    if (a.isValid()) {
        const QPartialOrdering order =
            a.typeId() == QMetaType::QString
                ? (collator().compare(a.toString(), b.toString()) < 0   ? QPartialOrdering::Less
                   : collator().compare(a.toString(), b.toString()) > 0 ? QPartialOrdering::Greater
                                                                        : QPartialOrdering::Equivalent)
                : QVariant::compare(a, b);
        if (order != QPartialOrdering::Equivalent)
            return order == QPartialOrdering::Less;
    }
    // Ties keep the class list's order.
    const bool before = left.data(kRowRole).toInt() < right.data(kRowRole).toInt();
    return ascending ? before : !before;
}

} // namespace seiseki
