// The declarative property tables behind GetProperties, SetProperties and GetPropertyInfo.
#include "kit/Properties.h"

#include <gtest/gtest.h>

#include <string>

using namespace vantrel::kit;

namespace {

PropertyStore rowset() {
    return PropertyStore(
        std::vector<PropertyDef>(rowsetProperties().begin(), rowsetProperties().end()));
}

DBPROP boolProperty(DBPROPID id, bool on, DBPROPOPTIONS options = DBPROPOPTIONS_REQUIRED) {
    DBPROP p{};
    p.dwPropertyID = id;
    p.dwOptions = options;
    VariantInit(&p.vValue);
    p.vValue.vt = VT_BOOL;
    p.vValue.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    return p;
}

} // namespace

TEST(PropertyStore, GetPropertiesAnswersSupportedAndFlagsTheRest) {
    PropertyStore store = rowset();
    DBPROPID ids[] = {DBPROP_IRowset, 0xFFFF};
    DBPROPIDSET request{ids, 2, DBPROPSET_ROWSET};
    ULONG count = 0;
    DBPROPSET* sets = nullptr;
    EXPECT_EQ(store.getProperties(1, &request, &count, &sets, nullptr, nullptr),
              DB_S_ERRORSOCCURRED);
    ASSERT_EQ(count, 1u);
    ASSERT_EQ(sets[0].cProperties, 2u);
    EXPECT_EQ(sets[0].rgProperties[0].dwStatus, DBPROPSTATUS_OK);
    EXPECT_EQ(sets[0].rgProperties[0].vValue.vt, VT_BOOL);
    EXPECT_EQ(sets[0].rgProperties[0].vValue.boolVal, VARIANT_TRUE);
    EXPECT_EQ(sets[0].rgProperties[1].dwStatus, DBPROPSTATUS_NOTSUPPORTED);
    EXPECT_EQ(sets[0].rgProperties[1].vValue.vt, VT_EMPTY);
    freePropertySets(count, sets);

    // The only property asked for is unsupported: the call fails, as a consumer relies on.
    DBPROPIDSET one{ids + 1, 1, DBPROPSET_ROWSET};
    EXPECT_EQ(store.getProperties(1, &one, &count, &sets, nullptr, nullptr), DB_E_ERRORSOCCURRED);
    freePropertySets(count, sets);
    // A set nobody knows, asked for whole.
    DBPROPIDSET unknown{nullptr, 0, DBPROPSET_DBINIT};
    EXPECT_EQ(store.getProperties(1, &unknown, &count, &sets, nullptr, nullptr),
              DB_E_ERRORSOCCURRED);
    freePropertySets(count, sets);
}

TEST(PropertyStore, SetPropertiesChecksTypeOptionsAndWritability) {
    PropertyStore store = rowset();
    DBPROP props[4] = {
        boolProperty(DBPROP_IRowsetChange, true), boolProperty(DBPROP_IRowset, false), // read-only
        boolProperty(DBPROP_CANFETCHBACKWARDS, true, 77), boolProperty(DBPROP_BOOKMARKS, false)};
    props[3].vValue.vt = VT_I4; // wrong type
    DBPROPSET set{props, 4, DBPROPSET_ROWSET};
    EXPECT_EQ(store.setProperties(1, &set, true, nullptr, nullptr), DB_S_ERRORSOCCURRED);
    EXPECT_EQ(props[0].dwStatus, DBPROPSTATUS_OK);
    EXPECT_EQ(props[1].dwStatus, DBPROPSTATUS_NOTSETTABLE);
    EXPECT_EQ(props[2].dwStatus, DBPROPSTATUS_BADOPTION);
    EXPECT_EQ(props[3].dwStatus, DBPROPSTATUS_BADVALUE);
    EXPECT_TRUE(store.value(DBPROPSET_ROWSET, DBPROP_IRowsetChange).boolean());
    EXPECT_FALSE(store.value(DBPROPSET_ROWSET, DBPROP_CANFETCHBACKWARDS).boolean());

    // Setting a read-only property to the value it has is no error; an optional refusal is
    // reported as not set.
    props[1] = boolProperty(DBPROP_IRowset, true);
    props[2] = boolProperty(DBPROP_IRowsetInfo, false, DBPROPOPTIONS_OPTIONAL);
    DBPROPSET two{props + 1, 2, DBPROPSET_ROWSET};
    EXPECT_EQ(store.setProperties(1, &two, true, nullptr, nullptr), DB_S_ERRORSOCCURRED);
    EXPECT_EQ(props[1].dwStatus, DBPROPSTATUS_OK);
    EXPECT_EQ(props[2].dwStatus, DBPROPSTATUS_NOTSET);

    // VT_EMPTY puts the default back; with writing closed nothing changes.
    props[0].vValue.vt = VT_EMPTY;
    DBPROPSET first{props, 1, DBPROPSET_ROWSET};
    EXPECT_EQ(store.setProperties(1, &first, false, nullptr, nullptr), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(props[0].dwStatus, DBPROPSTATUS_NOTSETTABLE);
    EXPECT_TRUE(store.value(DBPROPSET_ROWSET, DBPROP_IRowsetChange).boolean());
    EXPECT_EQ(store.setProperties(1, &first, true, nullptr, nullptr), S_OK);
    EXPECT_FALSE(store.value(DBPROPSET_ROWSET, DBPROP_IRowsetChange).boolean());
}

TEST(PropertyStore, PropertyInfoDescribesTheInitialisationTable) {
    static const PropertyRow rows[] = {
        {PropertySet::DbInit, DBPROP_INIT_DATASOURCE, VT_BSTR, propFlagRead | propFlagWrite, 0,
         u"vantrel.db", u"Data Source"},
        {PropertySet::DbInit, DBPROP_INIT_TIMEOUT, VT_I4, propFlagRead | propFlagWrite, 5, nullptr,
         u"Connect Timeout"},
    };
    PropertyStore store(initProperties(rows));
    EXPECT_EQ(store.value(DBPROPSET_DBINIT, DBPROP_INIT_TIMEOUT).integer, 5);
    EXPECT_EQ(store.value(DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE).text, u"vantrel.db");
    EXPECT_EQ(store.value(DBPROPSET_VANTREL_KITINIT, kitPropConcurrency).text, u"Optimistic");

    DBPROPIDSET all{nullptr, 0, DBPROPSET_DBINITALL};
    ULONG count = 0;
    DBPROPINFOSET* info = nullptr;
    OLECHAR* text = nullptr;
    ASSERT_EQ(store.getPropertyInfo(1, &all, &count, &info, &text, nullptr, nullptr), S_OK);
    ASSERT_EQ(count, 2u) << "the standard set and the kit's own";
    ASSERT_EQ(info[0].cPropertyInfos, 2u);
    EXPECT_EQ(std::u16string(info[0].rgPropertyInfos[0].pwszDescription), u"Data Source");
    EXPECT_EQ(info[0].rgPropertyInfos[1].vtType, VT_I4);
    EXPECT_TRUE(info[0].rgPropertyInfos[1].dwFlags & DBPROPFLAGS_DBINIT);
    EXPECT_EQ(std::u16string(info[1].rgPropertyInfos[0].pwszDescription), u"Concurrency");
    for (ULONG s = 0; s < count; ++s)
        CoTaskMemFree(info[s].rgPropertyInfos);
    CoTaskMemFree(info);
    CoTaskMemFree(text);

    DBPROPID missing = 0x4242;
    DBPROPIDSET ask{&missing, 1, DBPROPSET_DBINIT};
    ASSERT_EQ(store.getPropertyInfo(1, &ask, &count, &info, &text, nullptr, nullptr),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(info[0].rgPropertyInfos[0].dwFlags,
              static_cast<DBPROPFLAGS>(DBPROPFLAGS_NOTSUPPORTED));
    CoTaskMemFree(info[0].rgPropertyInfos);
    CoTaskMemFree(info);
    CoTaskMemFree(text);
}

// Every command and rowset copies a store over the shared rowset table: a copy and its
// original change independently, and what one sets (with its options) never shows in another.
TEST(PropertyStore, CopiesOverTheSharedTableChangeIndependently) {
    PropertyStore command(sharedRowsetProperties());
    PropertyStore fresh = rowset();
    for (const PropertyDef& d : rowsetProperties()) {
        EXPECT_EQ(command.value(*d.set, d.id), fresh.value(*d.set, d.id)) << d.id;
        const PropertyDef* found = command.find(*d.set, d.id);
        ASSERT_NE(found, nullptr) << d.id;
        EXPECT_EQ(std::u16string(found->description), std::u16string(d.description));
        // A rowset property's id under another set is another property, which is not there.
        EXPECT_EQ(command.find(DBPROPSET_SESSION, d.id), nullptr) << d.id;
    }
    EXPECT_EQ(command.find(DBPROPSET_ROWSET, 0x4242), nullptr);
    EXPECT_EQ(command.find(DBPROPSET_ROWSET, 511), nullptr);
    EXPECT_EQ(command.value(DBPROPSET_ROWSET, 0x4242).type, VT_EMPTY);

    DBPROP props[2] = {boolProperty(DBPROP_IRowsetChange, true, DBPROPOPTIONS_OPTIONAL),
                       boolProperty(DBPROP_CANFETCHBACKWARDS, true)};
    DBPROPSET set{props, 2, DBPROPSET_ROWSET};
    ASSERT_EQ(command.setProperties(1, &set, true, nullptr, nullptr), S_OK);
    PropertyStore copy = command;
    copy.assign(DBPROPSET_ROWSET, DBPROP_IRowsetChange, PropertyValue::ofBool(false));
    copy.assign(DBPROPSET_ROWSET, DBPROP_MAXROWS, PropertyValue::ofInt(7));

    EXPECT_TRUE(command.value(DBPROPSET_ROWSET, DBPROP_IRowsetChange).boolean());
    EXPECT_EQ(command.value(DBPROPSET_ROWSET, DBPROP_MAXROWS).integer, 0);
    EXPECT_FALSE(copy.value(DBPROPSET_ROWSET, DBPROP_IRowsetChange).boolean());
    EXPECT_EQ(copy.value(DBPROPSET_ROWSET, DBPROP_MAXROWS).integer, 7);
    // Assigning a value keeps how the consumer set it.
    EXPECT_TRUE(copy.isOptional(DBPROPSET_ROWSET, DBPROP_IRowsetChange));
    EXPECT_TRUE(copy.isSet(DBPROPSET_ROWSET, DBPROP_CANFETCHBACKWARDS));
    EXPECT_FALSE(copy.isSet(DBPROPSET_ROWSET, DBPROP_MAXROWS));
    EXPECT_FALSE(copy.isOptional(DBPROPSET_ROWSET, DBPROP_CANFETCHBACKWARDS));
    // Nothing of either reached a store made afterwards.
    PropertyStore later(sharedRowsetProperties());
    EXPECT_FALSE(later.value(DBPROPSET_ROWSET, DBPROP_IRowsetChange).boolean());
    EXPECT_FALSE(later.isSet(DBPROPSET_ROWSET, DBPROP_CANFETCHBACKWARDS));

    // GetProperties reports the changed and the default values alike.
    DBPROPID ids[] = {DBPROP_MAXROWS, DBPROP_IRowset};
    DBPROPIDSET request{ids, 2, DBPROPSET_ROWSET};
    ULONG count = 0;
    DBPROPSET* sets = nullptr;
    ASSERT_EQ(copy.getProperties(1, &request, &count, &sets, nullptr, nullptr), S_OK);
    EXPECT_EQ(sets[0].rgProperties[0].vValue.lVal, 7);
    EXPECT_EQ(sets[0].rgProperties[1].vValue.boolVal, VARIANT_TRUE);
    freePropertySets(count, sets);

    copy.resetAll();
    EXPECT_EQ(copy.value(DBPROPSET_ROWSET, DBPROP_MAXROWS).integer, 0);
    EXPECT_FALSE(copy.isSet(DBPROPSET_ROWSET, DBPROP_CANFETCHBACKWARDS));
    EXPECT_FALSE(copy.isOptional(DBPROPSET_ROWSET, DBPROP_IRowsetChange));
    EXPECT_TRUE(command.isSet(DBPROPSET_ROWSET, DBPROP_CANFETCHBACKWARDS));
}
