// The raw baseline of the ODBC load: the bench's 100,011 rows through the driver manager
// directly, without COM or OLE DB (whose Windows type names clash with the ODBC headers, so the
// two live in separate files).
#pragma once

#include <string>

// Runs one statement on a connection of its own; false with the driver's records in `error`.
bool rawOdbcRun(const std::string& connection, const std::string& sql, std::string& error);

// Inserts branches (1), tellers (10) and accounts (100,000) as generateData does: per table
// SQLPrepare once, SQLBindParameter, SQLExecute per row, one serializable transaction ended
// with SQLEndTran. Returns the milliseconds of the three passes (connecting not counted), or
// -1 with the driver's records in `error`.
double rawOdbcLoad(const std::string& connection, std::string& error);
