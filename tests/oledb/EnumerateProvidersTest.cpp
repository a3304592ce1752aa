// Provider enumeration through the real root enumerator over the class registry.

#include "support/FailingProvider.h"
#include "support/OleDbFixture.h"

#include "oledb/OLEDBCommunicator.h"
#include "oledb/OleString.h"

#include "vantrel/ClassRegistry.h"

#include <algorithm>
#include <map>
#include <strings.h>

namespace {

// Keeps its items sorted by text, as the window's list does, so positions say nothing.
class TSortedList : public TProviderList {
public:
    struct TItem {
        std::string text;
        int index;
    };
    void clear() override {
        items.clear();
        ++clears;
    }
    void addItem(const std::string& text, int index) override {
        auto at = std::find_if(items.begin(), items.end(), [&](const TItem& item) {
            return strcasecmp(item.text.c_str(), text.c_str()) > 0;
        });
        items.insert(at, {text, index});
    }
    std::vector<TItem> items;
    int clears = 0;
};

HRESULT refuseEverything(IUnknown*, REFIID, void** ppv) {
    *ppv = nullptr;
    return E_NOTIMPL;
}

class EnumerateProvidersTest : public TOleDbTest {
protected:
    void TearDown() override {
        for (const CLSID& clsid : added) {
            VantrelUnregisterClass(clsid);
        }
        TOleDbTest::TearDown();
    }

    // The sources the registry offers now: ProgID to description.
    static std::map<std::string, std::string> registeredSources() {
        std::map<std::string, std::string> sources;
        for (const VantrelClassRegistration& r : VantrelRegisteredClasses()) {
            if (r.sourceType != 0 && r.clsid != CLSID_OLEDB_ENUMERATOR) {
                sources[fromOleString(reinterpret_cast<const OLECHAR*>(r.progId.c_str()))] =
                    fromOleString(reinterpret_cast<const OLECHAR*>(r.description.c_str()));
            }
        }
        return sources;
    }

    // Registers test sources until the registry offers `total`; descriptions sort in reverse
    // order of registration so that list positions and indexes differ.
    void fillRegistryTo(std::size_t total, DWORD sourceType) {
        while (registeredSources().size() < total) {
            const int n = static_cast<int>(added.size());
            VantrelClassRegistration r;
            r.clsid = {0x7e0d0000u + static_cast<unsigned>(n),
                       0x1111,
                       0x4222,
                       {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};
            const std::string name = "Test.Source" + std::to_string(n) + ".1";
            r.progId = std::u16string(name.begin(), name.end());
            const std::string description =
                "Testovac\xED zdroj " + std::string(1, 'z' - n % 26) + std::to_string(n);
            const TOleString wide = toOleString(description);
            r.description = std::u16string(wide.begin(), wide.end());
            r.sourceType = sourceType;
            r.createInstance = &refuseEverything;
            ASSERT_GE(VantrelRegisterClass(r), 0);
            added.push_back(r.clsid);
        }
    }

    // Every item carries the index of its own name, and every source is listed exactly once.
    void expectListMatchesRegistry(const TSortedList& list) {
        const auto sources = registeredSources();
        ASSERT_EQ(providerNames->size(), sources.size());
        ASSERT_EQ(list.items.size(), sources.size());
        std::vector<bool> seen(sources.size(), false);
        for (const auto& item : list.items) {
            ASSERT_GE(item.index, 0);
            ASSERT_LT(static_cast<std::size_t>(item.index), providerNames->size());
            EXPECT_FALSE(seen[item.index]) << "index given twice: " << item.index;
            seen[item.index] = true;
            const std::string& name = (*providerNames)[item.index];
            ASSERT_EQ(sources.count(name), 1u) << name;
            EXPECT_EQ(sources.at(name), item.text) << name;
        }
    }

    std::vector<CLSID> added;
};

TEST_F(EnumerateProvidersTest, ListsTheInstalledProvidersWithTheIndexOfTheirNames) {
    TSortedList list;
    EXPECT_TRUE(enumerateProviders(list));
    EXPECT_EQ(boxes.count(), 0u);
    expectListMatchesRegistry(list);
    const auto sqlite = std::find(providerNames->begin(), providerNames->end(), "Vantrel.SQLite.1");
    EXPECT_NE(sqlite, providerNames->end());
}

TEST_F(EnumerateProvidersTest, ExactlyTwentySourcesTakeTwoFetchesTheSecondEmpty) {
    failing::TEnumeratorOverride counting;
    failing::reset();
    fillRegistryTo(20, DBSOURCETYPE_DATASOURCE_TDP);
    TSortedList list;
    EXPECT_TRUE(enumerateProviders(list));
    expectListMatchesRegistry(list);
    EXPECT_EQ(list.items.size(), 20u);
    EXPECT_EQ(failing::callCount("IRowset::GetNextRows"), 2);
    EXPECT_EQ(failing::callCount("IRowset::GetData"), 20);
    EXPECT_EQ(failing::callCount("IRowset::ReleaseRows"), 1) << "nothing to release after the "
                                                                "empty fetch";
    EXPECT_EQ(failing::callCount("IAccessor::ReleaseAccessor"), 1);
    failing::reset();
}

TEST_F(EnumerateProvidersTest, MoreThanOneBlockOfSourcesIsListedWhole) {
    fillRegistryTo(41, DBSOURCETYPE_DATASOURCE_TDP);
    TSortedList list;
    EXPECT_TRUE(enumerateProviders(list));
    expectListMatchesRegistry(list);
    EXPECT_EQ(list.items.size(), 41u);
}

TEST_F(EnumerateProvidersTest, AFailedFetchKeepsTheRowsReadBeforeIt) {
    failing::TEnumeratorOverride counting;
    failing::reset();
    fillRegistryTo(25, DBSOURCETYPE_DATASOURCE_TDP);
    failing::failCall("IRowset::GetNextRows", E_FAIL, 1, -1, "fetch failed");
    TSortedList list;
    EXPECT_FALSE(enumerateProviders(list));
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_NE(boxes.boxes()[0].text.find("Description: fetch failed"), std::string::npos);
    EXPECT_EQ(list.items.size(), 20u);
    EXPECT_EQ(providerNames->size(), 20u);
    EXPECT_EQ(failing::callCount("IAccessor::ReleaseAccessor"), 1) << "released on the way out";
    failing::reset();
}

TEST_F(EnumerateProvidersTest, EnumeratorsAreListedToo) {
    fillRegistryTo(registeredSources().size() + 2, DBSOURCETYPE_ENUMERATOR);
    TSortedList list;
    EXPECT_TRUE(enumerateProviders(list));
    expectListMatchesRegistry(list);
}

TEST_F(EnumerateProvidersTest, ASecondRunReplacesTheFirstInsteadOfAddingToIt) {
    TSortedList list;
    ASSERT_TRUE(enumerateProviders(list));
    const std::size_t first = list.items.size();
    ASSERT_TRUE(enumerateProviders(list));
    EXPECT_EQ(list.items.size(), first);
    EXPECT_EQ(providerNames->size(), first);
    EXPECT_EQ(list.clears, 2);
}

TEST(EnumerateProvidersOutsideTheEnvironment, AnswersFalseWithoutTouchingTheList) {
    ASSERT_EQ(providerNames, nullptr);
    TSortedList list;
    list.addItem("kept", 7);
    EXPECT_FALSE(enumerateProviders(list));
    ASSERT_EQ(list.items.size(), 1u);
}

} // namespace
