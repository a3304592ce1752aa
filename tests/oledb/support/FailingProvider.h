#pragma once
// A provider that fails named calls on demand. It wraps the real SQLite provider (reached
// through COM by its ProgID) and passes every call through, except that each wrapped method
// first asks the failure plan: a planned failure posts an error object (its description and the
// source "Vantrel.FailingSQLite") and answers the planned HRESULT instead of calling the
// provider. Wrapped: the data source (IDBInitialize, IDBProperties, IDBCreateSession, IPersist),
// the session (IOpenRowset, IDBCreateCommand, ITableDefinition, ITransactionLocal), commands
// (ICommandText, ICommandProperties, ICommandPrepare, ICommandWithParameters) and rowsets
// (IRowset, IRowsetChange, IAccessor, IColumnsInfo). Calls are named "Interface::Method".
// Other interfaces are handed out by the wrapped provider itself.
//
// Some calls are also asked under a narrower name, so a plan can single them out:
// "IAccessor::CreateAccessor:PARAMETERDATA" for parameter accessors, and
// "IDBProperties::GetProperties:<id>" (the DBPROPID in decimal) for a request of one property.

#include "oledb/OleDbApi.h"

#include <string>

namespace failing {

// ProgID of the class; a connection string names it as its Provider.
inline constexpr const char* progId = "Vantrel.FailingSQLite.1";
// Description as the root enumerator lists it.
inline constexpr const char* description = "Vantrel Failing Test Provider";

// Registers the class for the lifetime of the object (one at a time) and clears the plan.
class TRegistration {
public:
    TRegistration();
    ~TRegistration();
    TRegistration(const TRegistration&) = delete;
    TRegistration& operator=(const TRegistration&) = delete;
};

// Puts a counting stand-in in front of the real root enumerator while it lives: its sources
// rowset is wrapped like the failing provider's rowsets, so its calls are counted (and can be
// failed) under the same names.
class TEnumeratorOverride {
public:
    TEnumeratorOverride();
    ~TEnumeratorOverride();
    TEnumeratorOverride(const TEnumeratorOverride&) = delete;
    TEnumeratorOverride& operator=(const TEnumeratorOverride&) = delete;
};

// Makes `call` fail with result after `skip` successful calls, `times` times (-1: for ever).
void failCall(const std::string& call, HRESULT result, int skip = 0, int times = -1,
              const std::string& description = "Failure on demand");
// Makes `call` answer S_OK without passing it on to the provider (a change "accepted" that
// never reaches the database), until reset. Honoured by IRowsetChange::SetData, the one call
// whose answer needs nothing filled in.
void swallowCall(const std::string& call);
// Makes GetProperties of the data source answer every value as VT_EMPTY.
void answerEmptyPropertyValues(bool empty);
// Whether the calling thread was inside a COM apartment at the last
// IDBInitialize::Uninitialize of a failing data source.
bool apartmentAtLastUninitialize();
// Forgets every planned failure and every count.
void reset();
// How often a wrapped method was called since the last reset.
int callCount(const std::string& call);

// "Provider=Vantrel.FailingSQLite.1;Data Source=<path>".
std::string connectionString(const std::string& databasePath);

} // namespace failing
