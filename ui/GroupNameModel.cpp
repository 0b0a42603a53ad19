#include "ui/GroupNameModel.h"

#include <algorithm>

namespace {

bool SortsBefore(const QString& a, const QString& b) {
    int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

} // namespace

GroupNameModel::GroupNameModel(Order order, QObject* parent) : QAbstractListModel(parent), order_(order) {}

int GroupNameModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(names_.size());
}

QVariant GroupNameModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= names_.size()) {
        return {};
    }
    return names_[index.row()];
}

Qt::ItemFlags GroupNameModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= names_.size()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return IsName(names_[index.row()]) ? flags | Qt::ItemIsSelectable : flags;
}

void GroupNameModel::Add(const QStringList& names) {
    if (names.isEmpty()) {
        return;
    }
    if (order_ == Order::AsAdded) {
        int first = static_cast<int>(names_.size());
        beginInsertRows({}, first, first + static_cast<int>(names.size()) - 1);
        names_ += names;
        endInsertRows();
        return;
    }
    beginResetModel();
    names_ += names;
    std::stable_sort(names_.begin(), names_.end(), SortsBefore);
    endResetModel();
}

QStringList GroupNameModel::Take(QList<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeIf([this](int row) { return !IsName(names_[row]); });
    QStringList taken;
    for (int row : rows) {
        taken.append(names_[row]);
    }
    // Contiguous runs from the bottom up, so the rows above a run keep their numbers.
    for (qsizetype end = rows.size(); end > 0;) {
        qsizetype start = end - 1;
        while (start > 0 && rows[start - 1] == rows[start] - 1) {
            --start;
        }
        beginRemoveRows({}, rows[start], rows[end - 1]);
        names_.remove(rows[start], end - start);
        endRemoveRows();
        end = start;
    }
    return taken;
}

void GroupNameModel::Clear() {
    beginResetModel();
    names_.clear();
    endResetModel();
}

bool GroupNameModel::Contains(const QString& name) const {
    return std::binary_search(names_.begin(), names_.end(), name, SortsBefore);
}
