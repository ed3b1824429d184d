#include "cfgman/messagelistmodel.h"

#include "cfgman/qtext.h"

#include <QCollator>
#include <algorithm>
#include <numeric>

namespace cfgman {

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

TMessageListModel::TMessageListModel(TMessageTable table, QObject* parent)
    : QAbstractTableModel(parent) {
    for (const std::string& t : MessageColumnTitles(table))
        titles_ << Q(t);
}

void TMessageListModel::SetRows(TMessageRows rows) {
    beginResetModel();
    rows_ = std::move(rows);
    order_.resize(rows_.size());
    std::iota(order_.begin(), order_.end(), 0u);
    endResetModel();
}

std::int32_t TMessageListModel::RecNo(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= order_.size())
        return 0;
    return rows_.RecNo(order_[static_cast<std::size_t>(row)]);
}

int TMessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int TMessageListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(TMessageRows::kColumns);
}

QVariant TMessageListModel::data(const QModelIndex& index, int role) const {
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || !index.isValid() ||
        static_cast<std::size_t>(index.row()) >= order_.size())
        return {};
    return Text(rows_.Column(order_[static_cast<std::size_t>(index.row())],
                             static_cast<std::size_t>(index.column())));
}

QVariant TMessageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= titles_.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return titles_[section];
}

Qt::ItemFlags TMessageListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

void TMessageListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || static_cast<std::size_t>(column) >= TMessageRows::kColumns)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::uint32_t> held;
    held.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& i : before)
        held.push_back(order_[static_cast<std::size_t>(i.row())]);

    // Each text's key once, not two texts made for every comparison. The
    // keys order as QString::localeAwareCompare does, which puts an empty
    // text before every other.
    const auto c = static_cast<std::size_t>(column);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(rows_.size());
    for (std::size_t r = 0; r < rows_.size(); ++r)
        keys.push_back(QCollator::defaultSortKey(Text(rows_.Column(r, c))));
    const auto compare = [&](std::uint32_t a, std::uint32_t b) {
        const bool aEmpty = rows_.Column(a, c).empty(), bEmpty = rows_.Column(b, c).empty();
        if (aEmpty || bEmpty)
            return int(!aEmpty) - int(!bEmpty);
        return keys[a].compare(keys[b]);
    };
    if (order == Qt::AscendingOrder)
        std::stable_sort(order_.begin(), order_.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return compare(a, b) < 0; });
    else
        std::stable_sort(order_.begin(), order_.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return compare(b, a) < 0; });
    keys = {};

    std::vector<int> shownAt(order_.size());
    for (std::size_t i = 0; i < order_.size(); ++i)
        shownAt[order_[i]] = static_cast<int>(i);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after << index(shownAt[held[static_cast<std::size_t>(i)]], before[i].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace cfgman
