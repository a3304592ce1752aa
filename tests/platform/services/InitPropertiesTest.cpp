// Text <-> value conversions and keyword lookup for initialisation properties.
#include "InitProperties.h"

#include <gtest/gtest.h>

using namespace vantrel::services;

namespace {

InitProperty property(DBPROPID id, VARTYPE type, const char16_t* description,
                      GUID set = DBPROPSET_DBINIT) {
    InitProperty p;
    p.set = set;
    p.id = id;
    p.type = type;
    p.flags = DBPROPFLAGS_DBINIT | DBPROPFLAGS_READ | DBPROPFLAGS_WRITE;
    p.description = description;
    return p;
}

TEST(InitPropertyText, ModeTakesPublishedNamesNumbersAndCombinations) {
    const InitProperty mode = property(DBPROP_INIT_MODE, VT_I4, u"Mode");
    struct Case {
        const char16_t* text;
        std::int64_t value;
    };
    for (const Case& c :
         {Case{u"Read", DB_MODE_READ}, Case{u"readwrite", DB_MODE_READWRITE},
          Case{u"ReadWrite|Share Deny None", DB_MODE_READWRITE | DB_MODE_SHARE_DENY_NONE},
          Case{u" Write | Share Exclusive ", DB_MODE_WRITE | DB_MODE_SHARE_EXCLUSIVE},
          Case{u"3", 3}, Case{u"1|16", 17}}) {
        std::optional<InitValue> v = valueFromText(mode, c.text);
        ASSERT_TRUE(v) << c.value;
        EXPECT_EQ(v->type, VT_I4);
        EXPECT_EQ(v->integer, c.value);
        // Written back, the text reads as the same value.
        EXPECT_EQ(valueFromText(mode, textFromValue(mode, *v))->integer, c.value);
    }
    EXPECT_EQ(textFromValue(mode, InitValue{VT_I4, DB_MODE_READ | DB_MODE_SHARE_DENY_WRITE, {}}),
              u"Read|Share Deny Write");
    // Bits no name covers stay numeric rather than being dropped.
    EXPECT_EQ(textFromValue(mode, InitValue{VT_I4, 0x100 | DB_MODE_READ, {}}), u"257");
    EXPECT_FALSE(valueFromText(mode, u"Read|Sometimes"));
    EXPECT_FALSE(valueFromText(mode, u"Read|"));
}

TEST(InitPropertyText, IntegersAreCheckedAgainstTheirType) {
    const InitProperty timeout = property(DBPROP_INIT_TIMEOUT, VT_I4, u"Connect Timeout");
    EXPECT_EQ(valueFromText(timeout, u" 30 ")->integer, 30);
    EXPECT_EQ(valueFromText(timeout, u"+7")->integer, 7);
    EXPECT_EQ(valueFromText(timeout, u"-1")->integer, -1);
    EXPECT_EQ(valueFromText(timeout, u"2147483647")->integer, 2147483647);
    EXPECT_FALSE(valueFromText(timeout, u"2147483648"));
    EXPECT_FALSE(valueFromText(timeout, u"99999999999999999999999"));
    EXPECT_FALSE(valueFromText(timeout, u"abc"));
    EXPECT_FALSE(valueFromText(timeout, u"12abc"));
    EXPECT_FALSE(valueFromText(timeout, u"1 2"));
    EXPECT_FALSE(valueFromText(timeout, u"+"));
    EXPECT_FALSE(valueFromText(timeout, u"１２")); // full-width digits are not digits here

    const InitProperty prompt = property(DBPROP_INIT_PROMPT, VT_I2, u"Prompt");
    EXPECT_EQ(valueFromText(prompt, u"NoPrompt")->integer, DBPROMPT_NOPROMPT);
    EXPECT_EQ(valueFromText(prompt, u"2")->integer, DBPROMPT_COMPLETE);
    EXPECT_FALSE(valueFromText(prompt, u"40000"));
    EXPECT_EQ(textFromValue(prompt, InitValue{VT_I2, DBPROMPT_COMPLETEREQUIRED, {}}),
              u"CompleteRequired");

    const InitProperty unsignedOne = property(0x9999, VT_UI4, u"Count");
    EXPECT_FALSE(valueFromText(unsignedOne, u"-1"));
    EXPECT_EQ(valueFromText(unsignedOne, u"4294967295")->integer, 4294967295LL);
}

TEST(InitPropertyText, BooleansTextsAndEmptyValues) {
    const InitProperty flag =
        property(DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO, VT_BOOL, u"Persist Security Info");
    for (const char16_t* yes : {u"True", u"yes", u"1", u"-1", u"TRUE"})
        EXPECT_EQ(valueFromText(flag, yes)->integer, 1) << "yes";
    for (const char16_t* no : {u"false", u"No", u"0"})
        EXPECT_EQ(valueFromText(flag, no)->integer, 0) << "no";
    EXPECT_FALSE(valueFromText(flag, u"maybe"));
    EXPECT_EQ(textFromValue(flag, InitValue{VT_BOOL, 1, {}}), u"True");

    // An empty text means "the provider's default" for non-text types ...
    EXPECT_TRUE(valueFromText(flag, u"")->isEmpty());
    // ... but is a real value for text, blanks included.
    const InitProperty source = property(DBPROP_INIT_DATASOURCE, VT_BSTR, u"Data Source");
    EXPECT_EQ(*valueFromText(source, u""), (InitValue{VT_BSTR, 0, u""}));
    EXPECT_EQ(valueFromText(source, u" a b ")->text, u" a b ");

    // Types nothing converts to are refused rather than guessed.
    const InitProperty odd = property(0x9998, VT_R8, u"Ratio");
    EXPECT_FALSE(valueFromText(odd, u"1.5"));
}

TEST(InitPropertyKeyword, DescriptionsComeFirstThenSynonymsOfStandardProperties) {
    const GUID providerSet = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    std::vector<InitProperty> props = {
        property(DBPROP_INIT_DATASOURCE, VT_BSTR, u"Data Source"),
        property(DBPROP_AUTH_USERID, VT_BSTR, u"User ID"),
        property(DBPROP_INIT_CATALOG, VT_BSTR, u"Initial Catalog"),
        // A provider property whose description is another property's synonym wins over it.
        property(0x1001, VT_BSTR, u"Server", providerSet),
    };
    EXPECT_EQ(findByKeyword(props, u"data source"), &props[0]);
    EXPECT_EQ(findByKeyword(props, u"UID"), &props[1]);
    EXPECT_EQ(findByKeyword(props, u"user"), &props[1]);
    EXPECT_EQ(findByKeyword(props, u"Database"), &props[2]);
    EXPECT_EQ(findByKeyword(props, u"SERVER"), &props[3]);
    // A synonym of a property this provider does not have names nothing.
    EXPECT_EQ(findByKeyword(props, u"PWD"), nullptr);
    EXPECT_EQ(findByKeyword(props, u"DataSource"), nullptr);
}

TEST(InitPropertyVariant, RoundTripsTheSupportedShapes) {
    for (const InitValue& v :
         {InitValue{VT_BSTR, 0, u"ěšč;\"'"}, InitValue{VT_BSTR, 0, u""}, InitValue{VT_BOOL, 1, {}},
          InitValue{VT_I2, -5, {}}, InitValue{VT_I4, 123456, {}}, InitValue{VT_UI4, 4000000000, {}},
          InitValue{VT_I8, -9000000000LL, {}}, InitValue{VT_EMPTY, 0, {}}}) {
        VARIANT variant;
        VariantInit(&variant);
        ASSERT_TRUE(initValueToVariant(v, variant));
        std::optional<InitValue> back = initValueFromVariant(variant);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, v);
        VariantClear(&variant);
    }
    VARIANT boolVariant;
    VariantInit(&boolVariant);
    boolVariant.vt = VT_BOOL;
    boolVariant.boolVal = VARIANT_TRUE;
    EXPECT_EQ(initValueFromVariant(boolVariant)->integer, 1);
}

} // namespace
