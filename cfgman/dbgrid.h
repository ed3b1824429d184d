#pragma once
// A read-only grid model over one table's current range: the rows are read
// when Reload is called (after the table moved) and the table keeps its row.
#include <QAbstractTableModel>
#include <string>
#include <vector>

namespace data {
class TTable;
class TXbTable;
} // namespace data

namespace cfgman {

struct TGridColumn {
    std::string Field;
    QString Title;
    int Width = 64;
};

class TDataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TDataSetModel(data::TTable& table, data::TXbTable& partner, std::vector<TGridColumn> columns,
                  QObject* parent = nullptr);

    [[nodiscard]] const std::vector<TGridColumn>& Columns() const { return columns_; }
    // Reads the range again; an inactive table shows no rows.
    void Reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    data::TTable& table_;
    data::TXbTable& partner_;
    std::vector<TGridColumn> columns_;
    std::vector<std::vector<std::string>> rows_;
};

} // namespace cfgman
