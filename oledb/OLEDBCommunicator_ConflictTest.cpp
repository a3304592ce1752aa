// The concurrent-edit conflict test: two updatable row sets of the one session both hold the
// tellers row with Tid 1; its Remark is changed through side 1, then through side 2, and the
// provider's answer to each change is listed. Side 1 writes "filler" back at the end. Both
// sides are driven one after the other on the calling thread.

#include "oledb/OLEDBCommunicator.h"

#include "core/Text.h"
#include "oledb/OperationSupport.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr DBLENGTH valueBufferSize = 100;

// One of the two editors: its row set and what was obtained through it.
struct TConflictSide {
    std::string commandText;
    IRowset* rowset = nullptr;
    IRowsetChange* change = nullptr;
    IAccessor* accessor = nullptr;
    HACCESSOR accessorHandle = DB_NULL_HACCESSOR;
    HROW row = DB_NULL_HROW;
    DBCOUNTITEM rowsObtained = 0;

    void releaseRow() {
        if (rowsObtained != 0 && rowset != nullptr)
            rowset->ReleaseRows(rowsObtained, &row, nullptr, nullptr, nullptr);
        rowsObtained = 0;
        row = DB_NULL_HROW;
    }

    void releaseAccessor() {
        if (accessor != nullptr && accessorHandle != DB_NULL_HACCESSOR)
            accessor->ReleaseAccessor(accessorHandle, nullptr);
        accessorHandle = DB_NULL_HACCESSOR;
        releaseInterface(accessor);
    }

    // Moves the cursor one row on; a fetch at the end of the row set leaves no row, which is
    // no failure. The handle is written into `row`: the provider allocates no array.
    void fetchNextRow() {
        HROW* rows = &row;
        DBCOUNTITEM obtained = 0;
        const HRESULT fetched = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &rows);
        if (fetched >= 0) {
            obtained = std::min<DBCOUNTITEM>(obtained, 1);
            if (rows != &row && rows != nullptr) {
                // A provider that ignored the given slot: keep the handle, free its array.
                if (obtained != 0)
                    row = rows[0];
                CoTaskMemFree(rows);
            }
            rowsObtained = obtained;
        }
        checkHResult(fetched);
    }

    void createAccessor(DBBINDING& binding, DBBINDSTATUS* statuses) {
        checkHResult(rowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&accessor)));
        HACCESSOR handle = DB_NULL_HACCESSOR;
        const HRESULT created =
            accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, 0, &handle, statuses);
        if (created >= 0)
            accessorHandle = handle;
        checkHResult(created);
    }
};

// Everything the test obtains; its destructor is the test's clean-up, releasing only what was
// obtained, in the order rows, accessors, buffers, column information, interfaces.
struct TConflictTestState {
    TConflictSide sides[2];
    DBORDINAL columnCount = 0;
    DBCOLUMNINFO* columnInfo = nullptr;
    OLECHAR* columnStrings = nullptr;
    std::vector<DBBINDING> binding;
    std::vector<DBBINDSTATUS> statuses;

    TConflictTestState() = default;
    TConflictTestState(const TConflictTestState&) = delete;
    TConflictTestState& operator=(const TConflictTestState&) = delete;
    ~TConflictTestState() {
        sides[0].releaseRow();
        sides[1].releaseRow();
        sides[0].releaseAccessor();
        sides[1].releaseAccessor();
        binding.clear();
        statuses.clear();
        freeTaskMemory(columnInfo);
        freeTaskMemory(columnStrings);
        releaseInterface(sides[0].change);
        releaseInterface(sides[1].change);
        releaseInterface(sides[0].rowset);
        releaseInterface(sides[1].rowset);
    }
};

// Text of the progress list, written in UTF-8 here and shown in Windows-1250.
std::string line(const char* utf8) {
    return utf8ToCp1250(utf8);
}

// The binding of the one selected column, through which both accessors are created. A value
// that the provider would read past the value buffers, or through a pointer in them, is refused.
DBBINDING remarkBinding(const TConflictTestState& state) {
    const DBCOLUMNINFO* column = nullptr;
    for (DBORDINAL i = 0; i < state.columnCount && column == nullptr; ++i)
        if (state.columnInfo[i].iOrdinal != 0) // not a bookmark
            column = &state.columnInfo[i];
    if (column == nullptr)
        reportOleDbFailure("Sada řádků testu konfliktu nemá žádný sloupec, který by šlo změnit.");

    DBBINDING binding{};
    binding.iOrdinal = column->iOrdinal;
    binding.dwPart = DBPART_VALUE;
    binding.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    binding.eParamIO = DBPARAMIO_NOTPARAM;
    binding.wType = column->wType;
    // A wide column's size counts characters; its binding's maximum counts bytes.
    binding.cbMaxLen =
        binding.wType == DBTYPE_WSTR ? column->ulColumnSize * sizeof(WCHAR) : column->ulColumnSize;
    binding.bPrecision = column->bPrecision;
    binding.bScale = column->bScale;
    // Text without a length part ends at its NUL, which the value buffers always hold.
    const bool terminatedText = binding.wType == DBTYPE_STR || binding.wType == DBTYPE_WSTR;
    if (!terminatedText && !valueFitsInPlace(binding.wType, binding.cbMaxLen, valueBufferSize))
        reportOleDbFailure("Měněný sloupec testu konfliktu má typ " +
                           std::to_string(binding.wType) + " a velikost " +
                           std::to_string(binding.cbMaxLen) +
                           ", což se do 100bajtové vyrovnávací paměti pro hodnotu nevejde.");
    return binding;
}

// Puts the test's ASCII text into a zeroed value buffer in the representation its binding
// names: UTF-16 code units for a wide column, the bytes themselves otherwise.
void writeValueText(std::vector<BYTE>& buffer, DBTYPE type, const char* ascii) {
    const std::size_t length = std::strlen(ascii);
    if (type == DBTYPE_WSTR) {
        for (std::size_t i = 0; i < length && (i + 1) * sizeof(WCHAR) < buffer.size(); ++i) {
            const WCHAR unit = static_cast<WCHAR>(static_cast<unsigned char>(ascii[i]));
            std::memcpy(buffer.data() + i * sizeof(WCHAR), &unit, sizeof unit);
        }
        return;
    }
    std::memcpy(buffer.data(), ascii, std::min(length, buffer.size() - 1));
}

// Applies one test change and lists the provider's answer; a refused change does not end the
// test.
void changeRow(TConflictSide& side, BYTE* value, TMemo* progress, const char* prefix) {
    const std::string sidePrefix = prefix;
    progress->addLine(sidePrefix + line(": Měním řádek ..."));
    std::string errorText;
    checkHResult(side.change->SetData(side.row, side.accessorHandle, value), errorText);
    if (errorText.empty())
        progress->addLine(sidePrefix + line(": Řádek změněn"));
    else
        progress->addLine(sidePrefix + line(": Při změně řádku došlo k chybě -") + " " + errorText);
}

} // namespace

bool TOLEDBCommunicator::testConcurrentEdit(std::uint8_t testType, TMemo* progress) {
    TCommunicator::testConcurrentEdit(testType, progress);
    startTiming();
    TScopeExit stop([this] { stopTiming(); });
    TConflictTestState state; // released before the timing stops
    TConflictSide& side1 = state.sides[0];
    TConflictSide& side2 = state.sides[1];
    try {
        progress->clear();
        if (testType > 1)
            return false; // no such test: nothing is selected

        const std::string& table = tableName(tiTellers);
        const std::string& key = columnName(tiTellers, 1);
        const std::string& remark = columnName(tiTellers, 4);
        const std::string singleRow =
            "SELECT " + remark + " FROM " + table + " WHERE " + key + "=1";
        const std::string singleRowLine =
            line(": Vybrání řádku tabulky ") + table + " kde " + key + "=1";
        if (testType == 0) {
            progress->addLine("1" + singleRowLine);
            progress->addLine("2" + singleRowLine);
            side1.commandText = singleRow;
        } else {
            progress->addLine(line("1: Vybrání všech řádků tabulky ") + table);
            progress->addLine("2" + singleRowLine);
            side1.commandText = "SELECT " + remark + " FROM " + table + " ORDER BY " + key;
        }
        side2.commandText = singleRow;

        for (TConflictSide* side : {&side1, &side2}) {
            executeCommand(session, side->commandText, IID_IRowset,
                           reinterpret_cast<IUnknown**>(&side->rowset), nullptr, true);
            if (side->rowset == nullptr)
                return false;
        }
        for (TConflictSide* side : {&side1, &side2})
            checkHResult(side->rowset->QueryInterface(IID_IRowsetChange,
                                                      reinterpret_cast<void**>(&side->change)));

        getColumnInfo(side1.rowset, &state.columnCount, &state.columnInfo, &state.columnStrings);
        state.binding.push_back(remarkBinding(state));
        state.statuses.resize(state.binding.size());
        side1.createAccessor(state.binding[0], state.statuses.data());
        side2.createAccessor(state.binding[0], state.statuses.data());

        // Text values are followed by zeros up to the end; a wider text column gets a buffer to
        // match, so the provider never reads past it.
        const std::size_t bufferSize = std::max<std::size_t>(
            valueBufferSize, std::min<DBLENGTH>(state.binding[0].cbMaxLen, 1 << 16) + 2);
        std::vector<BYTE> newValue(bufferSize, 0);
        std::vector<BYTE> restoreValue(bufferSize, 0);
        writeValueText(newValue, state.binding[0].wType, "111111");
        writeValueText(restoreValue, state.binding[0].wType, "filler");

        progress->addLine(line("1: Přemístění kurzoru na řádek s ") + key + "=1");
        progress->addLine(line("2: Přemístění kurzoru na řádek s ") + key + "=1");
        side1.fetchNextRow();
        if (testType == 1) {
            // The first row in Tid order is Tid 0; the next one is the row with Tid 1.
            side1.releaseRow();
            side1.fetchNextRow();
        }
        side2.fetchNextRow();

        changeRow(side1, newValue.data(), progress, "1");
        changeRow(side2, newValue.data(), progress, "2");
        checkHResult(side1.change->SetData(side1.row, side1.accessorHandle, restoreValue.data()));
        return true;
    } catch (const EResultException&) {
        return false;
    }
}
