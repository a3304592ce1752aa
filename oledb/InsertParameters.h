#pragma once
// The parameter layout of the data generation's INSERT commands: one 100-byte buffer per row,
// the integers at offsets 0, 4 (and 8), the Remark text after them up to the end, and the
// bindings built from the provider's own description of the parameters.

#include "oledb/OleDbApi.h"

#include <array>
#include <cstddef>

constexpr DBLENGTH insertParameterBufferSize = 100;
// Room of the binding and binding-status arrays.
constexpr std::size_t maxInsertParameters = 6;
constexpr DBBYTEOFFSET insertIntegerWidth = 4;

// Binds each parameter the provider described (in its order, ordinal i + 1 at offset 4 i, value
// part only, input, the provider's type, size, precision and scale). A description the buffer
// cannot hold is refused with the "OLE DB Error" box and EResultException: more parameters than
// the arrays have room for, or a parameter the provider would read past its place in the buffer
// (the last one has the rest of the buffer, each earlier one the 4 bytes up to the next) or
// through a pointer.
void bindInsertParameters(DB_UPARAMS count, const DBPARAMINFO* info,
                          std::array<DBBINDING, maxInsertParameters>& bindings);
