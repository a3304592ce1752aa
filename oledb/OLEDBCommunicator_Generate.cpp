// Filling the benchmark schema: 1 branch, 10 tellers and 100,000 accounts through one prepared,
// parameterised INSERT command per table, each table in its own serializable transaction. The
// load is built for speed of the provider path: one command object, one parameter accessor per
// table from the provider's own parameter description, one reused 100-byte parameter buffer in
// which only two integers change per row, and no per-row result test.

#include "oledb/OLEDBCommunicator.h"

#include "oledb/ComPtr.h"
#include "oledb/InsertParameters.h"
#include "oledb/OleString.h"
#include "oledb/OperationSupport.h"

#include <array>
#include <cstring>
#include <string>

namespace {

constexpr char fillerText[] = "filler";

// One insert pass: the table, how many rows, and the divisor that gives a row's Bid from its
// key (0 for branches, whose key is the Bid itself).
struct TInsertPass {
    TTableIndex table;
    std::int32_t rowCount;
    std::uint32_t bidDivisor;
};

constexpr TInsertPass insertPasses[] = {
    {tiBranches, 1, 0},
    {tiTellers, 10, 10},
    {tiAccounts, 100000, 100000},
};

// "INSERT INTO t (c1, c2, ...) VALUES (?, ?, ...)" over every column of the table.
std::string insertStatement(TTableIndex table) {
    std::string columns;
    std::string markers;
    for (int column = 1; column <= columnCount(table); ++column) {
        if (column > 1) {
            columns += ", ";
            markers += ", ";
        }
        columns += columnName(table, column);
        markers += "?";
    }
    return "INSERT INTO " + tableName(table) + " (" + columns + ") VALUES (" + markers + ")";
}

// Everything that belongs to one insert pass once its command is prepared; released by
// finish(), on success and failure alike.
class TInsertPassState {
public:
    TInsertPassState(ICommandText* command, ICommandWithParameters* withParameters,
                     ICommandPrepare* prepare)
        : command(command), withParameters(withParameters), prepare(prepare) {}

    // Describes the parameters, binds them and creates the parameter accessor.
    void createAccessor() {
        checkHResult(
            withParameters->GetParameterInfo(&parameterCount, &parameterInfo, &parameterNames));
        std::array<DBBINDING, maxInsertParameters> bindings{};
        bindInsertParameters(parameterCount, parameterInfo, bindings);
        checkHResult(command->QueryInterface(IID_IAccessor, accessor.outVoid()));
        std::array<DBBINDSTATUS, maxInsertParameters> statuses{};
        checkHResult(accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, parameterCount,
                                              bindings.data(), insertParameterBufferSize, &handle,
                                              statuses.data()));
        accessorCreated = true;
    }

    // Releases the accessor and the parameter information, then unprepares the command; the
    // Unprepare result goes through checkHResult.
    void finish() {
        if (accessorCreated) {
            accessor->ReleaseAccessor(handle, nullptr);
            accessorCreated = false;
        }
        accessor.reset();
        freeTaskMemory(parameterInfo);
        parameterInfo = nullptr;
        freeTaskMemory(parameterNames);
        parameterNames = nullptr;
        checkHResult(prepare->Unprepare());
    }

    HACCESSOR handle = DB_NULL_HACCESSOR;

private:
    ICommandText* command;
    ICommandWithParameters* withParameters;
    ICommandPrepare* prepare;
    DB_UPARAMS parameterCount = 0;
    DBPARAMINFO* parameterInfo = nullptr;
    OLECHAR* parameterNames = nullptr;
    TComPtr<IAccessor> accessor;
    bool accessorCreated = false;
};

// Inserts the rows of one pass with the parameter buffer; a row the provider refuses (for
// instance a duplicate key) is skipped without a report.
void insertRows(ICommandText* command, HACCESSOR accessor, const TInsertPass& pass) {
    alignas(std::int32_t) BYTE buffer[insertParameterBufferSize] = {};
    const DBBYTEOFFSET textOffset = insertIntegerWidth * (columnCount(pass.table) - 1);
    const DBBYTEOFFSET balanceOffset = textOffset - insertIntegerWidth;
    std::memcpy(buffer + textOffset, fillerText, sizeof fillerText);
    const std::int32_t zeroBalance = 0;
    std::memcpy(buffer + balanceOffset, &zeroBalance, sizeof zeroBalance);

    DBPARAMS params{buffer, 1, accessor};
    for (std::int32_t row = 0; row < pass.rowCount; ++row) {
        std::memcpy(buffer, &row, sizeof row);
        if (pass.bidDivisor != 0) {
            const auto bid =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(row) / pass.bidDivisor);
            std::memcpy(buffer + insertIntegerWidth, &bid, sizeof bid);
        }
        command->Execute(nullptr, IID_NULL, &params, nullptr, nullptr);
    }
}

// One insert pass in its own serializable transaction. A failure after the transaction started
// aborts it (the Abort result goes through checkHResult) and passes the exception on.
void runInsertPass(ITransactionLocal* transaction, ICommandText* command,
                   ICommandWithParameters* withParameters, ICommandPrepare* prepare,
                   const TInsertPass& pass) {
    checkHResult(transaction->StartTransaction(ISOLATIONLEVEL_SERIALIZABLE, 0, nullptr, nullptr));
    try {
        const TOleString text = toOleString(insertStatement(pass.table));
        checkHResult(command->SetCommandText(DBGUID_DBSQL, text.c_str()));
        checkHResult(prepare->Prepare(static_cast<ULONG>(pass.rowCount)));

        TInsertPassState state(command, withParameters, prepare);
        try {
            state.createAccessor();
            insertRows(command, state.handle, pass);
        } catch (...) {
            state.finish(); // a failing Unprepare here is reported and replaces the exception
            throw;
        }
        state.finish();
        checkHResult(transaction->Commit(FALSE, XACTTC_SYNC, 0));
    } catch (...) {
        checkHResult(transaction->Abort(nullptr, FALSE, FALSE));
        throw;
    }
}

} // namespace

bool TOLEDBCommunicator::generateData() {
    TCommunicator::generateData();
    startTiming();
    TScopeExit stop([this] { stopTiming(); });
    // Released in the reverse order of this list when the operation ends.
    TComPtr<ITransactionLocal> transaction;
    TComPtr<IDBCreateCommand> createCommand;
    TComPtr<ICommandText> command;
    TComPtr<ICommandWithParameters> withParameters;
    TComPtr<ICommandPrepare> prepare;
    try {
        checkHResult(session->QueryInterface(IID_ITransactionLocal, transaction.outVoid()));
        checkHResult(session->QueryInterface(IID_IDBCreateCommand, createCommand.outVoid()));
        checkHResult(createCommand->CreateCommand(nullptr, IID_ICommandText, command.outUnknown()));
        checkHResult(command->QueryInterface(IID_ICommandWithParameters, withParameters.outVoid()));
        checkHResult(command->QueryInterface(IID_ICommandPrepare, prepare.outVoid()));
        for (const TInsertPass& pass : insertPasses)
            runInsertPass(transaction.get(), command.get(), withParameters.get(), prepare.get(),
                          pass);
        return true;
    } catch (const EResultException&) {
        return false;
    }
}
