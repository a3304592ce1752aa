#pragma once
// The browsing grid's model: it stores no text. Its size is set from the prepared table, and
// every cell and header the view paints is asked of the window at that moment. The grid's fixed
// row and column (row 0 and column 0 in the communicator's numbering) are the view's headers.

#include <QAbstractTableModel>

#include <functional>

class TGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // Text of grid cell (column, row), both counting the fixed row and column as 0; a null
    // QVariant draws nothing.
    using CellText = std::function<QVariant(int column, int row)>;

    explicit TGridModel(CellText cellText, QObject* parent = nullptr);

    // The grid's dimensions including its fixed row and column (each at least 1).
    void setGridSize(int rowCount, int colCount);
    int gridRowCount() const { return rows; }
    int gridColCount() const { return cols; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Has the view ask for every visible cell again.
    void repaintAll();

private:
    CellText cellText;
    int rows = 1;
    int cols = 1;
};
