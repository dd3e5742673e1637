// The class overview's table: one row per learner in the class list's order, sorted by any column with the
// rows without a figure always last, and filtered by class and by a search on names and readings.
#pragma once

#include "Results.h"

#include <QSortFilterProxyModel>

class QStandardItemModel;

namespace seiseki {

class OverviewModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit OverviewModel(QObject* parent = nullptr);

    void setRows(const QList<OverviewRow>& rows);
    // Names and readings holding the text, compared without regard to width, case, kana or spaces.
    void setSearch(const QString& text);
    // Only this class's learners; empty: every class.
    void setClass(const QString& className);
    bool filtered() const { return !search_.isEmpty() || !class_.isEmpty(); }
    // The rows as shown, in the order shown.
    QList<OverviewRow> shownRows() const;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    QStandardItemModel* source_;
    QList<OverviewRow> rows_;
    QStringList keys_; // search key of each row: name and reading
    QString search_;
    QString class_;
};

} // namespace seiseki
