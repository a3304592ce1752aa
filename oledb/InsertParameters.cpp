#include "oledb/InsertParameters.h"

#include "oledb/OLEDBCommunicator.h"
#include "oledb/OperationSupport.h"

#include <string>

void bindInsertParameters(DB_UPARAMS count, const DBPARAMINFO* info,
                          std::array<DBBINDING, maxInsertParameters>& bindings) {
    if (count > maxInsertParameters)
        reportOleDbFailure("Ovladač popisuje u příkazu INSERT " + std::to_string(count) +
                           " parametrů; navázat jich lze nejvýše " +
                           std::to_string(maxInsertParameters) + ".");
    for (DB_UPARAMS i = 0; i < count; ++i) {
        DBBINDING& binding = bindings[i];
        binding = DBBINDING{};
        binding.iOrdinal = i + 1;
        binding.obValue = insertIntegerWidth * i;
        binding.dwPart = DBPART_VALUE;
        binding.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        binding.eParamIO = DBPARAMIO_INPUT;
        binding.cbMaxLen = info[i].ulParamSize;
        binding.wType = info[i].wType;
        binding.bPrecision = info[i].bPrecision;
        binding.bScale = info[i].bScale;

        const DBLENGTH room =
            i + 1 == count ? insertParameterBufferSize - binding.obValue : insertIntegerWidth;
        if (!valueFitsInPlace(binding.wType, binding.cbMaxLen, room))
            reportOleDbFailure("Ovladač popisuje parametr " + std::to_string(i + 1) +
                               " příkazu INSERT jako typ " + std::to_string(binding.wType) +
                               " o velikosti " + std::to_string(binding.cbMaxLen) +
                               "; ve vyrovnávací paměti parametrů je pro něj jen " +
                               std::to_string(room) + " bajtů.");
    }
}
