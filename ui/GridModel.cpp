#include "ui/GridModel.h"

#include <algorithm>
#include <utility>

TGridModel::TGridModel(CellText cellText, QObject* parent)
    : QAbstractTableModel(parent), cellText(std::move(cellText)) {}

void TGridModel::setGridSize(int rowCount, int colCount) {
    beginResetModel();
    rows = std::max(1, rowCount);
    cols = std::max(1, colCount);
    endResetModel();
}

int TGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows - 1;
}

int TGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : cols - 1;
}

QVariant TGridModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid())
        return QVariant();
    return cellText(index.column() + 1, index.row() + 1);
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return cellText(section + 1, 0);
    return cellText(0, section + 1);
}

void TGridModel::repaintAll() {
    if (rows > 1 && cols > 1)
        emit dataChanged(index(0, 0), index(rows - 2, cols - 2), {Qt::DisplayRole});
    if (cols > 1)
        emit headerDataChanged(Qt::Horizontal, 0, cols - 2);
    if (rows > 1)
        emit headerDataChanged(Qt::Vertical, 0, rows - 2);
}
