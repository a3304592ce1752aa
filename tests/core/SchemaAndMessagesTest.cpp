#include "core/Messages.h"
#include "core/Schema.h"
#include "core/Text.h"

#include <gtest/gtest.h>

namespace {

TEST(Schema, TableNamesAndTheirColumns) {
    EXPECT_EQ(tableName(0), "branches");
    EXPECT_EQ(tableName(1), "tellers");
    EXPECT_EQ(tableName(2), "accounts");
    EXPECT_EQ(tableName(3), "history");
    EXPECT_EQ(tableName(noTable), "");
    EXPECT_EQ(tableName(255), "");
    EXPECT_EQ(columnCount(0) + columnCount(1) + columnCount(2) + columnCount(3), 17);
    EXPECT_EQ(columnCount(3), 6);
    EXPECT_EQ(columnName(tiBranches, 2), "Bbalance");
    EXPECT_EQ(columnName(tiHistory, 5), "Time");
    EXPECT_EQ(columnName(tiTellers, 5), "");
    EXPECT_EQ(columnName(tiTellers, 0), "");
    EXPECT_EQ(columnName(noTable, 1), "");
}

TEST(Messages, AreWindows1250Bytes) {
    EXPECT_EQ(msgNotConnected(), "Komunik\xE1tor nen\xED p\xF8ipojen k datov\xE9mu zdroji.");
    EXPECT_EQ(opConnect(), "P\xF8ipojen\xED k datov\xE9mu zdroji");
    EXPECT_EQ(opGetDataForCell(), "Z\xEDsk\xE1n\xED dat pro bu\xF2ku");
    EXPECT_EQ(litSettingsFile(), ".\\Options.ini");
    EXPECT_EQ(msgTestFinished(), "Test byl dokon\xE8\x65n");
}

TEST(Messages, EveryTextSurvivesTheCodePage) {
    for (const std::string* text : {&msgConnectionTestOk(),
                                    &msgConnectionTestFailed(),
                                    &msgConnectFailed(),
                                    &msgTablesDropped(),
                                    &msgTablesCreated(),
                                    &msgTablesFilled(),
                                    &msgTablesEmptied(),
                                    &msgConflictTypeSameRow(),
                                    &msgConflictTypeRowInSet(),
                                    &msgTestFinished(),
                                    &msgTablesEmptyOrMissing(),
                                    &msgNotConnected(),
                                    &msgUnprepareFailed(),
                                    &opConnect(),
                                    &opDisconnect(),
                                    &opCanCreateTables(),
                                    &opCanDropTables(),
                                    &opIsReadOnly(),
                                    &opCreateTables(),
                                    &opDropTables(),
                                    &opTablesExist(),
                                    &opGenerateData(),
                                    &opClearData(),
                                    &opDataExist(),
                                    &opTestConcurrentEdit(),
                                    &opListErrorMessages(),
                                    &opPrepareTableForBrowsing(),
                                    &opUnprepareTableForBrowsing(),
                                    &opGetInfo()}) {
        EXPECT_FALSE(text->empty());
        EXPECT_EQ(text->find('?'), std::string::npos) << cp1250ToUtf8(*text);
    }
}

} // namespace
