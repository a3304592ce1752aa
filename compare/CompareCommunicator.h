#pragma once
// The OLE DB communicator as vantrel-compare drives it: the window's operations unchanged, plus
// reading whole screens of the prepared table the way the data page's grid paints them, timed
// into the operation log by the communicator's own timing like every other operation.

#include "oledb/OLEDBCommunicator.h"

#include <vector>

class TCompareCommunicator : public TOLEDBCommunicator {
public:
    using TOLEDBCommunicator::TOLEDBCommunicator;
    // A run that ends while connected still releases the provider's objects.
    ~TCompareCommunicator() override;

    // Asks getDataForCell for every cell of each screen: the header row, then rows first to
    // first + screenRows - 1, each in all `columns` columns (the row-number column included).
    // One operation-log line for the whole read, named as the cell reads are. A failing cell
    // shows its box and reads as empty, as in the grid; the caller sees the box.
    void readScreens(const std::vector<int>& firstRows, int screenRows, int columns);

    std::int32_t preparedRows() const { return preparedRowCount; }
};
