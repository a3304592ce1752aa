// The information page: nine facts about the provider, the data source and the server, one
// property of the data source object per line. A bridge to ODBC drivers names the driver it
// reached (its name, version and ODBC version) in the first three lines, whose captions speak
// of a driver; other providers show their own name and versions there.

#include "oledb/OLEDBCommunicator.h"

#include "core/Text.h"
#include "oledb/OperationSupport.h"

namespace {

// The ODBC driver's facts as the classic ODBC bridge publishes them:
// DBPROPSET_PROVIDERDATASOURCEINFO with KAGPROP_DRIVERNAME, KAGPROP_DRIVERVER and
// KAGPROP_DRIVERODBCVER. Spelled out here because the SDK header declaring them (msdasql.h) does
// not compile as C++ everywhere.
const GUID driverInfoSet = {
    0x497c60e0, 0x7123, 0x11cf, {0xb1, 0x71, 0x00, 0xaa, 0x00, 0x57, 0x59, 0x9e}};
constexpr DBPROPID driverNameProperty = 7;
constexpr DBPROPID driverVersionProperty = 8;
constexpr DBPROPID driverOdbcVersionProperty = 9;

struct TInfoItem {
    const char* captionUtf8;
    DBPROPID property;
    const GUID* propertySet;
    bool flag; // shown as "Y"/"N" instead of a text
    // The ODBC driver's own fact in driverInfoSet, read first; 0: none.
    DBPROPID driverProperty;
};

const TInfoItem infoItems[] = {
    {"Jméno použitého ovladače", DBPROP_PROVIDERFRIENDLYNAME, &DBPROPSET_DATASOURCEINFO, false,
     driverNameProperty},
    {"Verze použitého ovladače", DBPROP_PROVIDERVER, &DBPROPSET_DATASOURCEINFO, false,
     driverVersionProperty},
    {"Verze ODBC podporovaná ovladačem", DBPROP_PROVIDEROLEDBVER, &DBPROPSET_DATASOURCEINFO, false,
     driverOdbcVersionProperty},
    {"Jméno datového zdroje", DBPROP_INIT_DATASOURCE, &DBPROPSET_DBINIT, false, 0},
    {"Je datový zdroj pouze pro čtení", DBPROP_DATASOURCEREADONLY, &DBPROPSET_DATASOURCEINFO, true,
     0},
    {"Jméno DBMS produktu, ke kterému přistupujeme", DBPROP_DBMSNAME, &DBPROPSET_DATASOURCEINFO,
     false, 0},
    {"Verze DBMS produktu", DBPROP_DBMSVER, &DBPROPSET_DATASOURCEINFO, false, 0},
    {"Jméno serveru, ke kterému jsme připojeni", DBPROP_SERVERNAME, &DBPROPSET_DATASOURCEINFO,
     false, 0},
    {"Jméno databáze", DBPROP_INIT_CATALOG, &DBPROPSET_DBINIT, false, 0},
};

} // namespace

bool TOLEDBCommunicator::getInfo(TMemo* memo) {
    TCommunicator::getInfo(memo);
    startTiming();
    TScopeExit stop([this] { stopTiming(); });
    try {
        memo->clear();
        for (const TInfoItem& item : infoItems) {
            std::string value;
            if (item.flag)
                value.assign(1, getBoolProperty(dataSource, item.property, *item.propertySet) != 0
                                    ? 'Y'
                                    : 'N');
            else if (item.driverProperty == 0 ||
                     !findStringProperty(value, dataSource, item.driverProperty, driverInfoSet))
                getStringProperty(value, dataSource, item.property, *item.propertySet);
            // The memo takes Windows-1250 lines; the captions are written in UTF-8 here.
            memo->addLine(utf8ToCp1250(item.captionUtf8) + ": " + value);
        }
        return true;
    } catch (const EResultException&) {
        return false;
    }
}
