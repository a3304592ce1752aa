#include "oledb/OperationSupport.h"

DBLENGTH fixedTypeSize(DBTYPE type) {
    switch (type) {
    case DBTYPE_I1:
    case DBTYPE_UI1:
        return 1;
    case DBTYPE_I2:
    case DBTYPE_UI2:
    case DBTYPE_BOOL:
        return 2;
    case DBTYPE_I4:
    case DBTYPE_UI4:
    case DBTYPE_R4:
    case DBTYPE_ERROR:
        return 4;
    case DBTYPE_DBDATE:
    case DBTYPE_DBTIME:
        return 6;
    case DBTYPE_I8:
    case DBTYPE_UI8:
    case DBTYPE_R8:
    case DBTYPE_CY:
    case DBTYPE_DATE:
    case DBTYPE_FILETIME:
        return 8;
    case DBTYPE_DBTIMESTAMP:
        return sizeof(DBTIMESTAMP);
    case DBTYPE_GUID:
        return sizeof(GUID);
    case DBTYPE_DECIMAL:
        return sizeof(DECIMAL);
    case DBTYPE_NUMERIC:
        return sizeof(DB_NUMERIC);
    default:
        return 0;
    }
}

bool valueFitsInPlace(DBTYPE type, DBLENGTH maxLength, DBLENGTH room) {
    if (const DBLENGTH size = fixedTypeSize(type); size != 0)
        return size <= room;
    switch (type) {
    case DBTYPE_STR:
    case DBTYPE_WSTR:
    case DBTYPE_BYTES:
        return maxLength <= room;
    default:
        return false; // BSTR, VARIANT, interfaces, BYREF and arrays hold pointers
    }
}
