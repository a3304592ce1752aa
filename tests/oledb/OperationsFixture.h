#pragma once
// The fixture of the communicator's operation tests: the shared OLE DB fixture (environment,
// temporary directory, operation log, recorded boxes) plus a communicator over a database file
// of the real SQLite provider, and a direct SQLite connection to see what the operations left
// in the file.

#include "support/OleDbFixture.h"

#include "oledb/OLEDBCommunicator.h"

#include <memory>
#include <string>

struct sqlite3;

// The communicator with the browsing state open to the tests, which look at the held block and
// simulate a table that shrank after it was counted.
class TOperationsCommunicator : public TOLEDBCommunicator {
public:
    using TOLEDBCommunicator::TOLEDBCommunicator;
    // A test that ends while connected still releases the provider's objects.
    ~TOperationsCommunicator() override {
        if (isConnected())
            disconnect();
    }
    using TOLEDBCommunicator::blockFirstRow;
    using TOLEDBCommunicator::blockInvalid;
    using TOLEDBCommunicator::blockRowCount;
    using TOLEDBCommunicator::browseAccessor;
    using TOLEDBCommunicator::browseRowset;
    using TOLEDBCommunicator::fetchCellData;
    using TOLEDBCommunicator::preparedRowCount;
    using TOLEDBCommunicator::preparedTable;
};

class OperationsTest : public TOleDbTest {
protected:
    void TearDown() override;

    // A connected communicator over the test database through the SQLite provider, with extra
    // initialisation keywords appended (for instance "Mode=Read"); fails the test when it
    // cannot connect.
    std::unique_ptr<TOperationsCommunicator> connect(const std::string& extra = std::string());
    // The same over a connection string of the caller's.
    std::unique_ptr<TOperationsCommunicator> connectWith(const std::string& connectionString);

    // Runs SQL straight on the database file; fails the test on an error.
    void sql(const std::string& statement);
    // Runs SQL straight on the database file and answers SQLite's result code.
    int sqlResult(const std::string& statement);
    // The single integer a query answers, straight from the file.
    long long queryInt(const std::string& query);
    // The single text a query answers ("<null>" for NULL, "<no row>" for none).
    std::string queryText(const std::string& query);
    bool tableExists(const std::string& table);
    // Creates the four tables and fills them through the communicator.
    void createAndFill(TOLEDBCommunicator& communicator);
    // Creates the four tables through the communicator and writes the generated rows straight
    // into the file, with only `accounts` accounts: quicker where the full load is not the
    // subject.
    void createAndFillQuickly(TOLEDBCommunicator& communicator, int accounts = 100);

    // Lines of the operation log that start with an operation's name and ": ".
    int logLinesOf(const std::string& operationName) const;
    // Caption of recorded box i.
    std::string boxCaption(std::size_t i) const { return boxes.boxes().at(i).caption; }

private:
    sqlite3* rawDatabase();
    sqlite3* raw = nullptr;
};
