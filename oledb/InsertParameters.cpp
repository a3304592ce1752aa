#include "oledb/InsertParameters.h"

#include "oledb/OLEDBCommunicator.h"
#include "oledb/OperationSupport.h"

#include <string>

void bindInsertParameters(DB_UPARAMS count, const DBPARAMINFO* info,
                          std::array<DBBINDING, maxInsertParameters>& bindings) {
    if (count > maxInsertParameters)
        reportOleDbFailure("The provider describes " + std::to_string(count) +
                           " parameters of the INSERT command; at most " +
                           std::to_string(maxInsertParameters) + " can be bound.");
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
            reportOleDbFailure("The provider describes parameter " + std::to_string(i + 1) +
                               " of the INSERT command as type " + std::to_string(binding.wType) +
                               " of size " + std::to_string(binding.cbMaxLen) + "; it has " +
                               std::to_string(room) + " bytes in the parameter buffer.");
    }
}
