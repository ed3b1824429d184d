#include "cfgman/dbgrid.h"

#include "cfgman/core/accounttree.h"
#include "data/dataset.h"

namespace cfgman {

TDataSetModel::TDataSetModel(data::TTable& table, data::TXbTable& partner,
                             std::vector<TGridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), table_(table), partner_(partner), columns_(std::move(columns)) {}

void TDataSetModel::Reload() {
    beginResetModel();
    std::vector<std::string> fields;
    for (const TGridColumn& c : columns_)
        fields.push_back(c.Field);
    try {
        rows_ = ReadRows(table_, partner_, fields);
    } catch (...) {
        rows_.clear();
        endResetModel();
        throw;
    }
    endResetModel();
}

int TDataSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int TDataSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant TDataSetModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= int(rows_.size()))
        return {};
    const std::string& s = rows_[std::size_t(index.row())][std::size_t(index.column())];
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= int(columns_.size()))
        return {};
    return columns_[std::size_t(section)].Title;
}

} // namespace cfgman
