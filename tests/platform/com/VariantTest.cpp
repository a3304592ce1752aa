#include <gtest/gtest.h>

#include <string>

#include "TestObjects.h"
#include "oleauto.h"

using namespace comtest;

namespace {

VARIANT bstrVariant(const char16_t* text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT i4Variant(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

} // namespace

TEST(Variant, ClearFreesOwnedValuesAndEmptiesTheVariant) {
    VARIANT text = bstrVariant(u"owned"); // a leak here fails the sanitizer run
    EXPECT_EQ(VariantClear(&text), S_OK);
    EXPECT_EQ(text.vt, VT_EMPTY);

    auto* object = new TestObject;
    VARIANT unknown;
    VariantInit(&unknown);
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = object; // the variant owns the one reference
    EXPECT_EQ(VariantClear(&unknown), S_OK);
    EXPECT_EQ(liveObjects, 0);
    EXPECT_EQ(unknown.vt, VT_EMPTY);

    VARIANT nullBstr;
    VariantInit(&nullBstr);
    nullBstr.vt = VT_BSTR;
    nullBstr.bstrVal = nullptr;
    EXPECT_EQ(VariantClear(&nullBstr), S_OK);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(Variant, ClearRefusesUnknownTypesAndLeavesThemAlone) {
    VARIANT odd;
    VariantInit(&odd);
    odd.vt = 0x0FFE;
    odd.llVal = 42;
    EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(odd.vt, 0x0FFE);
    EXPECT_EQ(odd.llVal, 42);
}

TEST(Variant, CopyIsDeep) {
    VARIANT source = bstrVariant(u"ab\u010dd");
    VARIANT copy = i4Variant(7);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"ab\u010dd");
    EXPECT_EQ(SysStringLen(copy.bstrVal), 4u);
    VariantClear(&source);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"ab\u010dd"); // still readable after the source died
    EXPECT_EQ(VariantCopy(&copy, &copy), S_OK);
    VariantClear(&copy);
}

TEST(Variant, CopyOfAnInterfaceTakesItsOwnReference) {
    auto* object = new TestObject;
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_UNKNOWN;
    source.punkVal = object;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(object->AddRef(), 3u);
    object->Release();
    // Copying over a variant that holds the last reference to the same object stays valid.
    VariantClear(&source);
    VARIANT again = copy;
    ASSERT_EQ(VariantCopy(&copy, &again), S_OK);
    EXPECT_EQ(liveObjects, 1);
    VariantClear(&copy);
    EXPECT_EQ(liveObjects, 0);
}

TEST(Variant, ChangeTypeConvertsNumbersTextAndBooleans) {
    VARIANT out;
    VariantInit(&out);
    VARIANT text = bstrVariant(u" 12345 ");
    ASSERT_EQ(VariantChangeType(&out, &text, 0, VT_I4), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 12345);
    VariantClear(&text);

    VARIANT number = i4Variant(-42);
    ASSERT_EQ(VariantChangeType(&out, &number, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(out.bstrVal), u"-42");
    ASSERT_EQ(VariantChangeType(&out, &number, 0, VT_BOOL), S_OK); // clears the BSTR first
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    ASSERT_EQ(VariantChangeType(&out, &out, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(out.bstrVal), u"True");
    VariantClear(&out);

    VARIANT real;
    VariantInit(&real);
    real.vt = VT_R8;
    real.dblVal = 2.5;
    ASSERT_EQ(VariantChangeType(&out, &real, 0, VT_I2), S_OK);
    EXPECT_EQ(out.iVal, 2); // half to even
    real.dblVal = 3.5;
    ASSERT_EQ(VariantChangeType(&out, &real, 0, VT_I2), S_OK);
    EXPECT_EQ(out.iVal, 4);
    real.dblVal = 0.25;
    ASSERT_EQ(VariantChangeType(&out, &real, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(out.bstrVal), u"0.25");
    VariantClear(&out);

    VARIANT yes = bstrVariant(u"false");
    ASSERT_EQ(VariantChangeType(&out, &yes, 0, VT_BOOL), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    VariantClear(&yes);
    VARIANT big = bstrVariant(u"18446744073709551615");
    ASSERT_EQ(VariantChangeType(&out, &big, 0, VT_UI8), S_OK);
    EXPECT_EQ(out.ullVal, 18446744073709551615ull);
    VariantClear(&big);
}

TEST(Variant, ChangeTypeReportsOverflowMismatchAndLeavesTheTargetAlone) {
    VARIANT target = i4Variant(99);
    VARIANT large = i4Variant(70000);
    EXPECT_EQ(VariantChangeType(&target, &large, 0, VT_I2), DISP_E_OVERFLOW);
    VARIANT negative = i4Variant(-1);
    EXPECT_EQ(VariantChangeType(&target, &negative, 0, VT_UI4), DISP_E_OVERFLOW);
    VARIANT word = bstrVariant(u"12abc");
    EXPECT_EQ(VariantChangeType(&target, &word, 0, VT_I4), DISP_E_TYPEMISMATCH);
    VariantClear(&word);
    VARIANT empty = bstrVariant(u"");
    EXPECT_EQ(VariantChangeType(&target, &empty, 0, VT_R8), DISP_E_TYPEMISMATCH);
    VariantClear(&empty);
    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    EXPECT_EQ(VariantChangeType(&target, &null, 0, VT_I4), DISP_E_TYPEMISMATCH);
    VARIANT real;
    VariantInit(&real);
    real.vt = VT_R8;
    real.dblVal = 1e300;
    EXPECT_EQ(VariantChangeType(&target, &real, 0, VT_R4), DISP_E_OVERFLOW);
    EXPECT_EQ(VariantChangeType(&target, &real, 0, VT_I8), DISP_E_OVERFLOW);
    EXPECT_EQ(VariantChangeType(&target, &large, 0, VT_DISPATCH), DISP_E_BADVARTYPE);
    EXPECT_EQ(target.vt, VT_I4);
    EXPECT_EQ(target.lVal, 99);
    EXPECT_EQ(VariantChangeType(nullptr, &large, 0, VT_I4), E_INVALIDARG);
}
