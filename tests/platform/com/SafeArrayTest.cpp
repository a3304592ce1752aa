#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "oleauto.h"

namespace {

// A VT_BSTR vector holding the given texts, indexed from lowerBound.
SAFEARRAY* textVector(std::initializer_list<const char16_t*> texts, LONG lowerBound = 0) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, lowerBound, ULONG(texts.size()));
    if (!psa)
        return nullptr;
    void* data = nullptr;
    EXPECT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    auto* strings = static_cast<BSTR*>(data);
    for (const char16_t* text : texts)
        *strings++ = SysAllocString(text);
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    return psa;
}

std::u16string element(SAFEARRAY* psa, ULONG index) {
    void* data = nullptr;
    EXPECT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    const BSTR s = static_cast<BSTR*>(data)[index];
    std::u16string text = s ? std::u16string(s, SysStringLen(s)) : u"<null>";
    SafeArrayUnaccessData(psa);
    return text;
}

} // namespace

TEST(SafeArray, VectorKnowsItsBoundsTypeAndStartsZeroed) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, -2, 3);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 1u);
    LONG lower = 0, upper = 0;
    EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
    EXPECT_EQ(lower, -2);
    EXPECT_EQ(upper, 0);
    EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lower), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(psa, 0, &upper), DISP_E_BADINDEX);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
    EXPECT_TRUE(psa->fFeatures & FADF_BSTR);
    EXPECT_EQ(element(psa, 2), u"<null>");
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

    SAFEARRAY* empty = SafeArrayCreateVector(VT_I4, 1, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SafeArrayGetUBound(empty, 1, &upper), S_OK);
    EXPECT_EQ(upper, 0); // one below the lower bound
    EXPECT_EQ(SafeArrayDestroy(empty), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, RefusesWhatItCannotHold) {
    EXPECT_EQ(SafeArrayCreateVector(VT_UNKNOWN, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_RECORD, 0, 1), nullptr);
    // The last index would not be a LONG.
    EXPECT_EQ(SafeArrayCreateVector(VT_UI1, std::numeric_limits<LONG>::max(), 2), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_R8, 0, std::numeric_limits<ULONG>::max()), nullptr);
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I2, 0, 1);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED); // not accessed
    EXPECT_EQ(SafeArrayAccessData(psa, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, LockedArrayIsNotDestroyed) {
    SAFEARRAY* psa = textVector({u"a", u"b"});
    ASSERT_NE(psa, nullptr);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = psa;
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_BSTR); // left as it was
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED); // one lock still held
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(element(psa, 1), u"b");  // intact
    EXPECT_EQ(VariantClear(&v), S_OK); // frees array and strings (the sanitizer run checks)
    EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(SafeArray, VariantCopyOfAnArrayIsDeepAndIndependent) {
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_ARRAY | VT_BSTR;
    source.parray = textVector({u"DSN one", u"Žluťoučký kůň", u"x"}, 1);
    ASSERT_NE(source.parray, nullptr);
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    ASSERT_EQ(copy.vt, VT_ARRAY | VT_BSTR);
    ASSERT_NE(copy.parray, source.parray);
    LONG lower = 0;
    EXPECT_EQ(SafeArrayGetLBound(copy.parray, 1, &lower), S_OK);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(element(copy.parray, 1), u"Žluťoučký kůň");
    EXPECT_EQ(VariantClear(&source), S_OK);
    EXPECT_EQ(element(copy.parray, 0), u"DSN one"); // survives the source
    EXPECT_EQ(VariantClear(&copy), S_OK);

    // Variants as elements are copied and cleared with their contents.
    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    ASSERT_NE(variants, nullptr);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(variants, &data), S_OK);
    auto* items = static_cast<VARIANT*>(data);
    EXPECT_EQ(items[1].vt, VT_EMPTY);
    items[0].vt = VT_BSTR;
    items[0].bstrVal = SysAllocString(u"inner");
    SafeArrayUnaccessData(variants);
    SAFEARRAY* duplicate = nullptr;
    ASSERT_EQ(SafeArrayCopy(variants, &duplicate), S_OK);
    EXPECT_EQ(SafeArrayDestroy(variants), S_OK);
    ASSERT_EQ(SafeArrayAccessData(duplicate, &data), S_OK);
    EXPECT_EQ(std::u16string(static_cast<VARIANT*>(data)[0].bstrVal), u"inner");
    SafeArrayUnaccessData(duplicate);
    EXPECT_EQ(SafeArrayDestroy(duplicate), S_OK);
}
