// IColumnsInfo answers built from the backend's column descriptions.
#pragma once

#include "Backend.h"

#include "KitCom.h"

#include <span>

namespace vantrel::kit {

// The type of the bookmark column (ordinal 0): a 4-byte row number.
inline constexpr DBTYPE bookmarkType = DBTYPE_I4;

struct ColumnsShape {
    std::span<const ColumnInfo> columns;
    bool bookmark = false;   // add ordinal 0
    bool changeable = false; // the rowset takes changes (DBCOLUMNFLAGS_WRITE on writable columns)
};

// IColumnsInfo::GetColumnInfo: one task-allocated array and one strings buffer.
HRESULT getColumnInfo(const ColumnsShape& shape, DBORDINAL* count, DBCOLUMNINFO** info,
                      OLECHAR** strings);
// IColumnsInfo::MapColumnIDs: names (case-insensitive) and the bookmark's DBID.
HRESULT mapColumnIds(const ColumnsShape& shape, DBORDINAL count, const DBID ids[],
                     DBORDINAL ordinals[]);

// The size OLE DB reports for a column: the backend's size, or ~0 for unlimited data.
DBLENGTH reportedSize(const ColumnInfo& column);

} // namespace vantrel::kit
