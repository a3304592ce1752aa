#include "ColumnsInfo.h"

#include "Convert.h"
#include "KitText.h"

#include <cstring>
#include <string>
#include <vector>

namespace vantrel::kit {
namespace {

BYTE defaultPrecision(DBTYPE type) {
    switch (type) {
    case DBTYPE_I1:
    case DBTYPE_UI1:
        return 3;
    case DBTYPE_I2:
    case DBTYPE_UI2:
        return 5;
    case DBTYPE_I4:
    case DBTYPE_UI4:
        return 10;
    case DBTYPE_I8:
        return 19;
    case DBTYPE_UI8:
        return 20;
    case DBTYPE_R4:
        return 7;
    case DBTYPE_R8:
        return 15;
    case DBTYPE_DBTIMESTAMP:
        return 19;
    case DBTYPE_DBDATE:
        return 10;
    default:
        return static_cast<BYTE>(~0);
    }
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z')
            x += 32;
        if (y >= u'A' && y <= u'Z')
            y += 32;
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

DBLENGTH reportedSize(const ColumnInfo& column) {
    DBLENGTH fixed = fixedSize(column.type);
    if (fixed && column.type != DBTYPE_BSTR && column.type != DBTYPE_VARIANT)
        return fixed;
    return column.size ? column.size : ~DBLENGTH(0);
}

HRESULT getColumnInfo(const ColumnsShape& shape, DBORDINAL* count, DBCOLUMNINFO** info,
                      OLECHAR** strings) {
    if (count)
        *count = 0;
    if (info)
        *info = nullptr;
    if (strings)
        *strings = nullptr;
    if (!count || !info || !strings)
        return E_INVALIDARG;
    std::size_t total = shape.columns.size() + (shape.bookmark ? 1 : 0);
    if (total == 0)
        return S_OK;
    std::vector<std::u16string> names;
    std::size_t chars = 0;
    for (const ColumnInfo& c : shape.columns) {
        names.push_back(utf8ToUtf16(c.name));
        chars += names.back().size() + 1;
    }
    auto* out = static_cast<DBCOLUMNINFO*>(CoTaskMemAlloc(total * sizeof(DBCOLUMNINFO)));
    auto* buffer = static_cast<OLECHAR*>(CoTaskMemAlloc((chars ? chars : 1) * sizeof(OLECHAR)));
    if (!out || !buffer) {
        CoTaskMemFree(out);
        CoTaskMemFree(buffer);
        return E_OUTOFMEMORY;
    }
    std::memset(out, 0, total * sizeof(DBCOLUMNINFO));
    DBCOLUMNINFO* next = out;
    if (shape.bookmark) {
        next->iOrdinal = 0;
        next->dwFlags = DBCOLUMNFLAGS_ISBOOKMARK | DBCOLUMNFLAGS_ISFIXEDLENGTH;
        next->ulColumnSize = fixedSize(bookmarkType);
        next->wType = bookmarkType;
        next->bPrecision = defaultPrecision(bookmarkType);
        next->bScale = static_cast<BYTE>(~0);
        next->columnid.uGuid.guid = DBCOL_SPECIALCOL;
        next->columnid.eKind = DBKIND_GUID_PROPID;
        next->columnid.uName.ulPropid = 2;
        ++next;
    }
    OLECHAR* text = buffer;
    for (std::size_t i = 0; i < shape.columns.size(); ++i, ++next) {
        const ColumnInfo& c = shape.columns[i];
        std::memcpy(text, names[i].c_str(), (names[i].size() + 1) * sizeof(OLECHAR));
        next->pwszName = text;
        next->columnid.eKind = DBKIND_NAME;
        next->columnid.uName.pwszName = text;
        text += names[i].size() + 1;
        next->iOrdinal = i + 1;
        next->wType = c.type;
        next->ulColumnSize = reportedSize(c);
        DBCOLUMNFLAGS flags = 0;
        if (c.nullable)
            flags |= DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
        if (fixedSize(c.type) && c.type != DBTYPE_BSTR)
            flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
        if (next->ulColumnSize == ~DBLENGTH(0))
            flags |= DBCOLUMNFLAGS_ISLONG;
        if (c.primaryKey)
            flags |= DBCOLUMNFLAGS_KEYCOLUMN;
        if (shape.changeable && c.writable)
            flags |= DBCOLUMNFLAGS_WRITE;
        next->dwFlags = flags;
        next->bPrecision = c.precision ? c.precision : defaultPrecision(c.type);
        next->bScale = c.type == DBTYPE_R4 || c.type == DBTYPE_R8 || isSupportedType(c.type)
                           ? static_cast<BYTE>(~0)
                           : c.scale;
        if (c.scale)
            next->bScale = c.scale;
    }
    *count = total;
    *info = out;
    *strings = buffer;
    return S_OK;
}

HRESULT mapColumnIds(const ColumnsShape& shape, DBORDINAL count, const DBID ids[],
                     DBORDINAL ordinals[]) {
    if (count && (!ids || !ordinals))
        return E_INVALIDARG;
    std::size_t found = 0;
    for (DBORDINAL i = 0; i < count; ++i) {
        ordinals[i] = DB_INVALIDCOLUMN;
        const DBID& id = ids[i];
        if (id.eKind == DBKIND_GUID_PROPID && shape.bookmark &&
            std::memcmp(&id.uGuid.guid, &DBCOL_SPECIALCOL, sizeof(GUID)) == 0 &&
            id.uName.ulPropid == 2) {
            ordinals[i] = 0;
        } else if ((id.eKind == DBKIND_NAME || id.eKind == DBKIND_GUID_NAME ||
                    id.eKind == DBKIND_PGUID_NAME) &&
                   id.uName.pwszName) {
            std::u16string_view name(id.uName.pwszName);
            for (std::size_t c = 0; c < shape.columns.size(); ++c)
                if (equalsIgnoreCase(utf8ToUtf16(shape.columns[c].name), name)) {
                    ordinals[i] = c + 1;
                    break;
                }
        }
        if (ordinals[i] != DB_INVALIDCOLUMN)
            ++found;
    }
    if (found == count)
        return S_OK;
    return found ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

} // namespace vantrel::kit
