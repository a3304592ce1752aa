// Compiles the core headers on their own, against whichever platform headers are in use.
#include "core/Communicator.h"
#include "core/CommunicatorOwner.h"
#include "core/Exception.h"
#include "core/Memo.h"
#include "core/Messages.h"
#include "core/Schema.h"
#include "core/Text.h"
#include "core/Timing.h"

namespace {

class CheckCommunicator : public TCommunicator {
public:
    using TCommunicator::TCommunicator;

    bool connect() override {
        TCommunicator::connect();
        startTiming();
        connected = true;
        stopTiming();
        return connected;
    }

protected:
    std::string fetchCellData(int column, int row) override {
        return tableName(preparedTable) + std::to_string(column + row + preparedRowCount);
    }
};

[[maybe_unused]] void useCoreNames(TCommunicatorOwner* owner, TMemo* memo) {
    CheckCommunicator c(owner, memo);
    int cols = 0;
    int rows = 0;
    if (c.connect() && c.isConnected() && c.prepareTableForBrowsing(tiHistory, cols, rows))
        memo->addLine(c.getDataForCell(cols, rows) + columnName(tiBranches, columnCount(0)));
    try {
        throw ECommunicator(msgNotConnected());
    } catch (const Exception& e) {
        memo->addLine(e.message() + e.what() + msgConnectFailed() + opConnect() + litUnknown() +
                      formatDuration(nowAsDateTime()));
    }
    std::u16string wide = cp1250ToUtf16(utf8ToCp1250("\xc5\xbe"));
    memo->addLine(cp1250ToUtf8(utf16ToCp1250(wide)));
    static_assert(noTable == 4 && sizeof(TTableIndex) == 1);
    (void)owner->nativeWindowHandle();
    memo->clear();
}

} // namespace
