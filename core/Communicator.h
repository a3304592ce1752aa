#pragma once
// TCommunicator: the abstract driver through which the window exercises one database layer.
// It names the operation in progress, guards every operation but connect against use while
// disconnected, releases the browsed table before operations that need the tables free,
// answers the grid's header and row-number cells, and times operations into the operation log.
//
// Every implementation overrides an operation by calling this class's version first; those
// steps are therefore the first steps of every operation of every layer.

#include "core/CommunicatorOwner.h"
#include "core/Exception.h"
#include "core/Memo.h"
#include "core/Schema.h"

#include <chrono>
#include <cstdint>
#include <string>

// A precondition failure of the communicator itself (not connected, release failed).
class ECommunicator : public Exception {
public:
    using Exception::Exception;
};

class TCommunicator {
public:
    // Neither owner nor logMemo is owned; both must outlive the communicator.
    TCommunicator(TCommunicatorOwner* owner, TMemo* logMemo);
    TCommunicator(const TCommunicator&) = delete;
    TCommunicator& operator=(const TCommunicator&) = delete;
    virtual ~TCommunicator();

    virtual bool connect();
    virtual void disconnect();
    virtual bool canCreateTables();
    virtual bool canDropTables();
    virtual bool isReadOnly();
    virtual bool createTables();
    virtual bool dropTables();
    virtual bool tablesExist();
    virtual bool generateData();
    virtual bool clearData();
    virtual bool dataExist();
    // colCount is the table's column count plus one (row-number column), rowCount its data
    // row count plus one (header row); the implementation stores the data rows in
    // preparedRowCount.
    virtual bool prepareTableForBrowsing(TTableIndex table, int& colCount, int& rowCount);
    // Column 0 is the row-number column, row 0 the header row.
    virtual std::string getDataForCell(int column, int row);
    virtual bool unprepareTableForBrowsing(TTableIndex table);
    virtual bool getInfo(TMemo* memo);
    virtual bool testConcurrentEdit(std::uint8_t testType, TMemo* progress);
    virtual void listErrorMessages();

    bool isTablePrepared() const { return preparedTable != noTable; }
    bool isConnected() const { return connected; }

protected:
    // Text of data cell (column, row) of the prepared table, both 1-based.
    virtual std::string fetchCellData(int column, int row) = 0;

    // Starts measuring an operation: lastDuration 0, startTime the local wall-clock time.
    void startTiming();
    // Ends the measurement and appends "operationName: h:nn:ss:zzz" to logMemo. The duration
    // comes from a monotonic clock, so a clock change in between cannot distort it.
    void stopTiming();

    // Raises ECommunicator(msgNotConnected) unless connected.
    void checkConnected() const;
    // Releases the prepared table, if any, through the overridden unprepare; its result.
    bool releasePreparedTable();

    double lastDuration;       // days
    std::string operationName; // Windows-1250
    double startTime;          // days since 1899-12-30, local time
    TCommunicatorOwner* owner;
    TMemo* logMemo;
    bool connected;
    TTableIndex preparedTable;
    std::int32_t preparedRowCount;

private:
    std::chrono::steady_clock::time_point monotonicStart;
    bool timing = false;
};
