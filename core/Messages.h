#pragma once
// Message texts, operation names and fixed literals of the bench, as Windows-1250 text.
// Each is converted from its UTF-8 source once, on first use, and never changes afterwards.

#include <string>

// Messages shown in boxes and carried by exceptions.
const std::string& msgConnectionTestOk();
const std::string& msgConnectionTestFailed();
const std::string& msgConnectFailed();
const std::string& msgTablesDropped();
const std::string& msgTablesCreated();
const std::string& msgTablesFilled();
const std::string& msgTablesEmptied();
const std::string& msgConflictTypeSameRow();
const std::string& msgConflictTypeRowInSet();
const std::string& msgTestFinished();
const std::string& msgTablesEmptyOrMissing();
const std::string& msgNotConnected();
const std::string& msgUnprepareFailed();
const std::string& msgCellError();

// Names of the communicator's operations, as the operation log shows them.
const std::string& opConnect();
const std::string& opDisconnect();
const std::string& opCanCreateTables();
const std::string& opCanDropTables();
const std::string& opIsReadOnly();
const std::string& opCreateTables();
const std::string& opDropTables();
const std::string& opTablesExist();
const std::string& opGenerateData();
const std::string& opClearData();
const std::string& opDataExist();
const std::string& opTestConcurrentEdit();
const std::string& opListErrorMessages();
const std::string& opPrepareTableForBrowsing();
const std::string& opGetDataForCell();
const std::string& opUnprepareTableForBrowsing();
const std::string& opGetInfo();

// Fixed literals.
const std::string& litDurationFormat();      // "h:nn:ss:zzz"
const std::string& litNameSeparator();       // ": " between operation name and duration
const std::string& litUnknown();             // header of a column the prepared table lacks
const std::string& litCountFormat();         // "# %d", the data page's row-count label
const std::string& litSettingsFile();        // ".\Options.ini"
const std::string& litSectionGeneral();      // "General"
const std::string& litKeyDriver();           // "Driver"
const std::string& litKeyConnectionString(); // "ConnectionString"
