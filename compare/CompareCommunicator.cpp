#include "compare/CompareCommunicator.h"

#include "core/Messages.h"

TCompareCommunicator::~TCompareCommunicator() {
    if (isConnected()) {
        try {
            disconnect();
        } catch (...) {
            // Nothing more can be done about a failing disconnect while being destroyed.
        }
    }
}

void TCompareCommunicator::readScreens(const std::vector<int>& firstRows, int screenRows,
                                       int columns) {
    operationName = opGetDataForCell();
    checkConnected();
    startTiming();
    // The text is read as the grid reads it and thrown away; its size keeps the reads honest.
    std::size_t characters = 0;
    try {
        for (int first : firstRows) {
            for (int column = 0; column < columns; ++column)
                characters += getDataForCell(column, 0).size();
            for (int row = first; row < first + screenRows; ++row)
                for (int column = 0; column < columns; ++column)
                    characters += getDataForCell(column, row).size();
        }
    } catch (...) {
        stopTiming();
        throw;
    }
    stopTiming();
    static_cast<void>(characters);
}
