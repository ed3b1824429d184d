#pragma once
// An account's stored messages as a list view shows them: a model over the
// compact rows read from the table. A row's texts become strings only when
// the view draws it, so a list of many rows takes little more than the rows.
#include "cfgman/core/messagelists.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace cfgman {

class TMessageListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TMessageListModel(TMessageTable table, QObject* parent = nullptr);

    // Shows these rows in the table's order; the current row and the
    // selection go.
    void SetRows(TMessageRows rows);
    void Clear() { SetRows({}); }
    // The record number of the row shown at row; 0 when there is none.
    [[nodiscard]] std::int32_t RecNo(int row) const;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Orders the rows by a column's texts as the user's language sorts them,
    // case-sensitive; rows whose texts compare equal keep their order. The
    // current row and the selection stay on their rows.
    void sort(int column, Qt::SortOrder order) override;

private:
    TMessageRows rows_;
    std::vector<std::uint32_t> order_; // the row shown at i is rows_'s row order_[i]
    QStringList titles_;
};

} // namespace cfgman
