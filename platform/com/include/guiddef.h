// GUID, IID and CLSID with their reference types and comparison.
#pragma once

#include <cstdint>

// Consumers may build with an older C++ standard than ours: the word comparison below needs
// the compiler's bit_cast builtin (GCC 11, Clang 9), without it the bytes are compared one by one.
#ifdef __has_builtin
#if __has_builtin(__builtin_bit_cast)
#define VANTREL_GUID_COMPARE_WORDS 1
#endif
#endif

typedef struct _GUID {
    unsigned int Data1;
    unsigned short Data2;
    unsigned short Data3;
    unsigned char Data4[8];
} GUID;

typedef GUID IID;
typedef GUID CLSID;
typedef GUID FMTID;
typedef GUID* LPGUID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef const FMTID& REFFMTID;

static_assert(sizeof(GUID) == 16);

// Compares all 16 bytes (QueryInterface and Execute compare on every call); usable in constant
// expressions.
constexpr bool operator==(const GUID& a, const GUID& b) {
#ifdef VANTREL_GUID_COMPARE_WORDS
    struct Words {
        std::uint64_t low, high;
    };
    const Words x = __builtin_bit_cast(Words, a);
    const Words y = __builtin_bit_cast(Words, b);
    return ((x.low ^ y.low) | (x.high ^ y.high)) == 0;
#else
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
#endif
}

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
constexpr bool IsEqualIID(REFIID a, REFIID b) {
    return a == b;
}
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return a == b;
}

// Declares a named GUID constant. Each constant is an inline variable, so it has one address in
// the whole program and needs no separate definition file.
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                               \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

// Most OLE DB interfaces share one GUID tail and differ only in the first field.
#define VANTREL_DEFINE_OLEDB_IID(name, l)                                                          \
    DEFINE_GUID(name, l, 0x2a1c, 0x11ce, 0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d)
// The OLE DB property sets, schema rowsets and the enumerator share another.
#define VANTREL_DEFINE_OLEDB_GUID(name, l)                                                         \
    DEFINE_GUID(name, l, 0x5cf3, 0x11ce, 0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d)
// The classic COM interfaces: {xxxxxxxx-0000-0000-C000-000000000046}.
#define VANTREL_DEFINE_OLE_IID(name, l)                                                            \
    DEFINE_GUID(name, l, 0x0000, 0x0000, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)

DEFINE_GUID(GUID_NULL, 0x00000000, 0x0000, 0x0000, 0, 0, 0, 0, 0, 0, 0, 0);
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL
