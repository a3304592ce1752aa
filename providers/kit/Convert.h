// The data conversion matrix between the kit's cell values and consumer buffers.
//
// Supported consumer types: DBTYPE_I1..I8, UI1..UI8, R4, R8, BOOL, STR (Windows-1250), WSTR,
// BSTR, DBTIMESTAMP, DBDATE, BYTES and VARIANT. Statuses follow the OLE DB rules:
// DBSTATUS_S_ISNULL for NULL, DBSTATUS_S_TRUNCATED when a variable-length value did not fit
// (the length part still tells the full length), DBSTATUS_E_CANTCONVERTVALUE for a value that
// has no representation in the target type, DBSTATUS_E_DATAOVERFLOW for one out of its range.
#pragma once

#include "Backend.h"

#include "KitCom.h"

namespace vantrel::kit {

// True for the consumer types above (without modifiers such as DBTYPE_BYREF).
bool isSupportedType(DBTYPE type);

// Whether a value of type `from` can in principle be converted to `to` (IConvertType).
bool canConvert(DBTYPE from, DBTYPE to);

// Fixed size of a type in a consumer buffer; 0 for variable-length types (STR, WSTR, BYTES).
DBLENGTH fixedSize(DBTYPE type);

// Writes `value` as `target` into `dst`, which has room for `maxLength` bytes (used by the
// variable-length types only). `length` receives the value's full length in bytes (without a
// terminator), or 0 for NULL. Never writes outside [dst, dst + room), where room is maxLength
// for STR/WSTR/BYTES and fixedSize(target) otherwise.
DBSTATUS writeValue(const ValueView& value, DBTYPE target, void* dst, DBLENGTH maxLength,
                    DBLENGTH& length);

// Reads a consumer value of type `source` at `src`. `length` is the length part when bound
// (nullptr otherwise: STR/WSTR end at their NUL, searched within maxLength when maxLength > 0;
// BYTES take maxLength). A length part larger than a non-zero maxLength is refused
// (DBSTATUS_E_CANTCONVERTVALUE) rather than followed past the buffer. Returns DBSTATUS_S_OK
// with `out` set, or an error status.
DBSTATUS readValue(DBTYPE source, const void* src, const DBLENGTH* length, DBLENGTH maxLength,
                   Value& out);
// The same, without copying: `out` holds a number or date itself, and an ASCII text or bytes
// where they lie at `src`; only a text that needs converting is kept in `storage`, whose
// buffer is reused from call to call. `out` is valid while `src` and `storage` are unchanged.
DBSTATUS readValue(DBTYPE source, const void* src, const DBLENGTH* length, DBLENGTH maxLength,
                   ValueView& out, Value& storage);

// Formatting and parsing shared with the backends' text forms of dates.
std::string formatTimestamp(const Timestamp& t);
bool parseTimestamp(std::string_view text, Timestamp& t);
bool isValidTimestamp(const Timestamp& t);

} // namespace vantrel::kit
