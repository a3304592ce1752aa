// The provider as the module vantrel-sqlite.so found through the build's class registry: it
// stays loaded while any of its objects lives, down to a rowset, and loads again afterwards.
#include "ProviderTestSupport.h"

#include <vantrel/ClassRegistry.h>

#include <dlfcn.h>

using namespace sqlitetest;

namespace {

bool loaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

} // namespace

TEST_F(ProviderTest, TheModuleStaysWhileAnObjectLivesAndIsUnloadedAfterTheLast) {
    VantrelClassRegistration registration;
    ASSERT_EQ(VantrelLookupClass(providerClsid(), &registration), S_OK);
    ASSERT_FALSE(registration.modulePath.empty());
    EXPECT_NE(registration.modulePath.find("vantrel-sqlite.so"), std::string::npos);

    {
        Connection c = connect();
        run(c.session.get(), "CREATE TABLE t (a INTEGER)");
        run(c.session.get(), "INSERT INTO t VALUES (7)");
        IUnknown* rowset = nullptr;
        ASSERT_EQ(execute(c.session.get(), "SELECT a FROM t", nullptr, IID_IRowset, &rowset), S_OK);
        ASSERT_NE(rowset, nullptr);
        // Only the rowset is left once the session and the data source are released.
        c.session = {};
        c.dataSource = {};
        CoFreeUnusedLibraries();
        EXPECT_TRUE(loaded(registration.modulePath));
        rowset->Release();
    }
    CoFreeUnusedLibraries();
#if !defined(__SANITIZE_ADDRESS__)
    // The sanitizer build's loader keeps the library mapped after the runtime's last dlclose;
    // there only the reload below is checked.
    EXPECT_FALSE(loaded(registration.modulePath));
#endif

    Connection again = connect();
    EXPECT_EQ(scalar(again.session.get(), "SELECT a FROM t"), 7);
    EXPECT_TRUE(loaded(registration.modulePath));
}
