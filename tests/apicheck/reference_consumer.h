// The consumer of reference_consumer.cpp: connects through the data initialisation service,
// optionally executes one statement, then reads the first column of a query.
#pragma once

#include <oledb.h>

struct ReferenceConsumerResult {
    BOOL readOnly;           // DBPROP_DATASOURCEREADONLY after Initialize
    HRESULT statementResult; // what executing the statement answered (S_OK when none given)
    DBCOUNTITEM rows;        // rows the query gave
    BSTR firstValue;         // first row's first column as text (caller frees), null for NULL
    BSTR errorDescription;   // the first failure's error description (caller frees), or null
};

// Runs the whole consumer on the calling thread, between its own CoInitializeEx and
// CoUninitialize. statement and query may be null. Answers the first failing call's HRESULT;
// a failing statement only sets statementResult.
HRESULT RunReferenceConsumer(LPCOLESTR initString, LPCOLESTR statement, LPCOLESTR query,
                             ReferenceConsumerResult* result);
