// The information page: nine facts about the provider, the data source and the server, one
// property of the data source object per line.

#include "oledb/OLEDBCommunicator.h"

#include "core/Text.h"
#include "oledb/OperationSupport.h"

namespace {

struct TInfoItem {
    const char* captionUtf8;
    DBPROPID property;
    const GUID* propertySet;
    bool flag; // shown as "Y"/"N" instead of a text
};

const TInfoItem infoItems[] = {
    {"Jméno použitého ovladače", DBPROP_PROVIDERFRIENDLYNAME, &DBPROPSET_DATASOURCEINFO, false},
    {"Verze použitého ovladače", DBPROP_PROVIDERVER, &DBPROPSET_DATASOURCEINFO, false},
    {"Verze ODBC podporovaná ovladačem", DBPROP_PROVIDEROLEDBVER, &DBPROPSET_DATASOURCEINFO, false},
    {"Jméno datového zdroje", DBPROP_INIT_DATASOURCE, &DBPROPSET_DBINIT, false},
    {"Je datový zdroj pouze pro čtení", DBPROP_DATASOURCEREADONLY, &DBPROPSET_DATASOURCEINFO, true},
    {"Jméno DBMS produktu, ke kterému přistupujeme", DBPROP_DBMSNAME, &DBPROPSET_DATASOURCEINFO,
     false},
    {"Verze DBMS produktu", DBPROP_DBMSVER, &DBPROPSET_DATASOURCEINFO, false},
    {"Jméno serveru, ke kterému jsme připojeni", DBPROP_SERVERNAME, &DBPROPSET_DATASOURCEINFO,
     false},
    {"Jméno databáze", DBPROP_INIT_CATALOG, &DBPROPSET_DBINIT, false},
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
            else
                getStringProperty(value, dataSource, item.property, *item.propertySet);
            // The memo takes Windows-1250 lines; the captions are written in UTF-8 here.
            memo->addLine(utf8ToCp1250(item.captionUtf8) + ": " + value);
        }
        return true;
    } catch (const EResultException&) {
        return false;
    }
}
