// Browsing one benchmark table in the data page's grid: a rowset over the whole table with one
// row accessor for all its columns, and a block of up to 20 held row handles from which the
// painted cells are read. A row outside the block is reached by rewinding the rowset and
// skipping forward, so nothing beyond RestartPosition, GetNextRows, GetData and ReleaseRows is
// needed of the rowset, and no rowset property is requested.

#include "oledb/OLEDBCommunicator.h"

#include "core/Messages.h"
#include "oledb/ComPtr.h"
#include "oledb/OperationSupport.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// Room for a text value whose column reports no usable size (an unbounded text type); a longer
// value is cut to this many characters in its cell.
constexpr DBLENGTH unboundedTextRoom = 4000;
// Bytes after the last field, so that reading a 32-bit integer at the start of a narrower field
// never leaves the buffer.
constexpr std::size_t rowBufferSlack = 8;

enum class TCellForm { integer, text, time, error };

// What column `column` (1-based) of a table holds, as the grid shows it.
TCellForm cellForm(TTableIndex table, int column) {
    switch (column) {
    case 1:
    case 2:
        return TCellForm::integer;
    case 3:
        return table == tiBranches ? TCellForm::text : TCellForm::integer;
    case 4:
        if (table == tiBranches)
            return TCellForm::error;
        return table == tiHistory ? TCellForm::integer : TCellForm::text;
    case 5:
        return table == tiHistory ? TCellForm::time : TCellForm::error;
    case 6:
        return table == tiHistory ? TCellForm::text : TCellForm::error;
    default:
        return TCellForm::error;
    }
}

// Whether values of this type can be bound by value into the row buffer (no pointer inside).
bool boundByValue(DBTYPE type) {
    return fixedTypeSize(type) != 0 || type == DBTYPE_STR || type == DBTYPE_WSTR ||
           type == DBTYPE_BYTES;
}

// The binding of one column: its own type (wide text read as 8-bit text, pointer-holding types
// as text too), and room for the value including the terminating NUL of a text value.
DBBINDING columnBinding(const DBCOLUMNINFO& column, DBBYTEOFFSET offset) {
    DBBINDING binding{};
    binding.iOrdinal = column.iOrdinal;
    binding.obValue = offset;
    binding.dwPart = DBPART_VALUE;
    binding.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    binding.eParamIO = DBPARAMIO_NOTPARAM;
    binding.wType = column.wType == DBTYPE_WSTR || !boundByValue(column.wType)
                        ? static_cast<DBTYPE>(DBTYPE_STR)
                        : column.wType;
    binding.bPrecision = column.bPrecision;
    binding.bScale = column.bScale;

    const bool sizeKnown = column.ulColumnSize != 0 && column.ulColumnSize <= unboundedTextRoom &&
                           boundByValue(column.wType);
    if (const DBLENGTH fixed = fixedTypeSize(binding.wType); fixed != 0)
        binding.cbMaxLen = fixed;
    else if (binding.wType == DBTYPE_STR)
        binding.cbMaxLen = (sizeKnown ? column.ulColumnSize : unboundedTextRoom) + 1;
    else
        binding.cbMaxLen = sizeKnown ? column.ulColumnSize : unboundedTextRoom;
    return binding;
}

template <class T> long long readValue(const BYTE* field) {
    T value;
    std::memcpy(&value, field, sizeof value);
    return static_cast<long long>(value);
}

std::string textOf(const BYTE* field, const DBBINDING& binding) {
    const char* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, binding.cbMaxLen));
}

// An integer column at the width of its bound type; the 32-bit signed value for any other.
std::string integerText(const BYTE* field, const DBBINDING& binding) {
    switch (binding.wType) {
    case DBTYPE_I1:
        return std::to_string(readValue<std::int8_t>(field));
    case DBTYPE_UI1:
        return std::to_string(readValue<std::uint8_t>(field));
    case DBTYPE_I2:
        return std::to_string(readValue<std::int16_t>(field));
    case DBTYPE_UI2:
        return std::to_string(readValue<std::uint16_t>(field));
    case DBTYPE_UI4:
        return std::to_string(readValue<std::uint32_t>(field));
    case DBTYPE_I8:
        return std::to_string(readValue<std::int64_t>(field));
    case DBTYPE_UI8: {
        std::uint64_t value;
        std::memcpy(&value, field, sizeof value);
        return std::to_string(value);
    }
    case DBTYPE_STR:
        return textOf(field, binding);
    default:
        return std::to_string(readValue<std::int32_t>(field));
    }
}

// A timestamp as 2026-12-08 14:03:07; a provider that hands the column over as text is shown
// as that text.
std::string timeText(const BYTE* field, const DBBINDING& binding) {
    char text[64];
    if (binding.wType == DBTYPE_DBTIMESTAMP) {
        DBTIMESTAMP stamp;
        std::memcpy(&stamp, field, sizeof stamp);
        std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", stamp.year,
                      unsigned{stamp.month}, unsigned{stamp.day}, unsigned{stamp.hour},
                      unsigned{stamp.minute}, unsigned{stamp.second});
        return text;
    }
    if (binding.wType == DBTYPE_DBDATE) {
        DBDATE date;
        std::memcpy(&date, field, sizeof date);
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", date.year, unsigned{date.month},
                      unsigned{date.day});
        return text;
    }
    if (binding.wType == DBTYPE_STR)
        return textOf(field, binding);
    return msgCellError();
}

// Releases everything a prepare obtained, in the order held rows, accessor, buffers, rowset.
void releaseBrowsing(IRowset*& rowset, IAccessor*& accessor, HACCESSOR& accessorHandle,
                     std::vector<DBBINDING>& bindings, std::vector<BYTE>& rowBuffer, HROW* heldRows,
                     DBCOUNTITEM& heldCount) {
    if (heldCount != 0 && rowset != nullptr)
        rowset->ReleaseRows(heldCount, heldRows, nullptr, nullptr, nullptr);
    heldCount = 0;
    if (accessor != nullptr) {
        if (accessorHandle != DB_NULL_HACCESSOR)
            accessor->ReleaseAccessor(accessorHandle, nullptr);
        releaseInterface(accessor);
    }
    accessorHandle = DB_NULL_HACCESSOR;
    std::vector<BYTE>().swap(rowBuffer);
    std::vector<DBBINDING>().swap(bindings);
    releaseInterface(rowset);
}

} // namespace

bool TOLEDBCommunicator::prepareTableForBrowsing(TTableIndex tableIndex, int& columns, int& rows) {
    TCommunicator::prepareTableForBrowsing(tableIndex, columns, rows);
    startTiming();
    DBORDINAL infoCount = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* infoStrings = nullptr;
    std::vector<DBBINDSTATUS> statuses;
    TScopeExit finish([&] {
        blockInvalid = true;
        blockFirstRow = 0;
        blockRowCount = 0;
        freeTaskMemory(info);
        freeTaskMemory(infoStrings);
        stopTiming();
    });
    try {
        columns = columnCount(tableIndex) + 1;
        // The grid's size comes from this count, not from the rowset.
        const std::int32_t count = countRows(session, tableIndex);
        preparedRowCount = count;
        rows = count < INT_MAX ? count + 1 : count;

        // Nothing is held here after the release above; anything left over is released
        // rather than overwritten.
        releaseBrowsing(browseRowset, browseAccessor, browseAccessorHandle, browseBindings,
                        browseRowBuffer, heldRows, blockRowCount);
        heldRowsPointer = heldRows;

        executeTableQuery(session, "SELECT * FROM " + tableName(tableIndex), IID_IRowset,
                          reinterpret_cast<IUnknown**>(&browseRowset));
        if (browseRowset == nullptr)
            return false;

        getColumnInfo(browseRowset, &infoCount, &info, &infoStrings);
        DBBYTEOFFSET offset = 0;
        for (DBORDINAL i = 0; i < infoCount; ++i) {
            if (info[i].iOrdinal == 0)
                continue; // a bookmark column is no data column of the grid
            browseBindings.push_back(columnBinding(info[i], offset));
            offset += browseBindings.back().cbMaxLen;
        }
        browseRowBuffer.assign(offset + rowBufferSlack, 0);
        statuses.resize(browseBindings.size());

        checkHResult(
            browseRowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&browseAccessor)));
        HACCESSOR handle = DB_NULL_HACCESSOR;
        const HRESULT created =
            browseAccessor->CreateAccessor(DBACCESSOR_ROWDATA, browseBindings.size(),
                                           browseBindings.data(), 0, &handle, statuses.data());
        if (created >= 0)
            browseAccessorHandle = handle;
        checkHResult(created);
        return true;
    } catch (const EQueryFailed&) {
        // Nothing of this table is shown: no count, no rowset, no prepared table.
        abandonConnection();
        preparedRowCount = 0;
        rows = 0;
        return false;
    } catch (const EResultException&) {
        // What was obtained stays for the next unprepare.
        return false;
    }
}

std::string TOLEDBCommunicator::fetchCellData(int column, int row) {
    if (column < 1 || row < 1 || row > preparedRowCount)
        return msgCellError();
    if (column > columnCount(preparedTable))
        return msgCellError();
    const TCellForm form = cellForm(preparedTable, column);
    if (form == TCellForm::error)
        return msgCellError();
    // A prepare that failed part-way left no accessor to read with.
    if (browseRowset == nullptr || browseAccessorHandle == DB_NULL_HACCESSOR)
        return std::string();
    // The provider's rowset has fewer columns than the table.
    if (static_cast<std::size_t>(column) > browseBindings.size())
        return msgCellError();

    try {
        const long long wanted = row - 1;
        if (blockInvalid || wanted < blockFirstRow ||
            blockFirstRow + static_cast<long long>(blockRowCount) < row) {
            blockInvalid = false;
            if (blockRowCount != 0) {
                browseRowset->ReleaseRows(blockRowCount, heldRows, nullptr, nullptr, nullptr);
                blockRowCount = 0;
            }
            checkHResult(browseRowset->RestartPosition(DB_NULL_HCHAPTER));
            DBCOUNTITEM obtained = 0;
            heldRowsPointer = heldRows;
            const HRESULT fetched = browseRowset->GetNextRows(
                DB_NULL_HCHAPTER, wanted, browseBlockSize, &obtained, &heldRowsPointer);
            if (fetched >= 0) {
                obtained = std::min<DBCOUNTITEM>(obtained, browseBlockSize);
                if (heldRowsPointer != heldRows) {
                    // A provider that ignored the given array: keep the handles, free its copy.
                    if (heldRowsPointer != nullptr) {
                        std::copy_n(heldRowsPointer, obtained, heldRows);
                        CoTaskMemFree(heldRowsPointer);
                    }
                    heldRowsPointer = heldRows;
                }
                blockRowCount = obtained;
            }
            checkHResult(fetched);
            blockFirstRow = static_cast<std::int32_t>(wanted);
        }
        // The table shrank after it was counted: the row is not in the block.
        const long long index = wanted - blockFirstRow;
        if (index < 0 || index >= static_cast<long long>(blockRowCount))
            return std::string();

        std::fill(browseRowBuffer.begin(), browseRowBuffer.end(), BYTE{0});
        checkHResult(
            browseRowset->GetData(heldRows[index], browseAccessorHandle, browseRowBuffer.data()));
    } catch (const EResultException&) {
        return std::string();
    }

    const DBBINDING& binding = browseBindings[static_cast<std::size_t>(column) - 1];
    const BYTE* field = browseRowBuffer.data() + binding.obValue;
    switch (form) {
    case TCellForm::integer:
        return integerText(field, binding);
    case TCellForm::text:
        return textOf(field, binding);
    case TCellForm::time:
        return timeText(field, binding);
    case TCellForm::error:
        break;
    }
    return msgCellError();
}

bool TOLEDBCommunicator::unprepareTableForBrowsing(TTableIndex tableIndex) {
    TCommunicator::unprepareTableForBrowsing(tableIndex);
    releaseBrowsing(browseRowset, browseAccessor, browseAccessorHandle, browseBindings,
                    browseRowBuffer, heldRows, blockRowCount);
    return true;
}
