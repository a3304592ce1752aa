#pragma once
// Stands in for the Data Links dialog (CLSID_DataLinks) while it lives: PromptDataSource records
// how it was called and then either sets the data source's initialisation properties it was
// scripted with and answers S_OK, or answers DB_E_CANCELED as a cancelled dialog does. The real
// registration is put back afterwards.

#include "oledb/OleDbApi.h"

#include <string>
#include <vector>

struct TPromptCall {
    HWND parent;
    DBPROMPTOPTIONS options;
    ULONG sourceTypeFilterCount;
    bool providerFilterGiven;
    bool dataSourceGiven;
};

class TScriptedPrompt {
public:
    TScriptedPrompt();
    ~TScriptedPrompt();
    TScriptedPrompt(const TScriptedPrompt&) = delete;
    TScriptedPrompt& operator=(const TScriptedPrompt&) = delete;

    // OK after setting DBPROP_INIT_DATASOURCE to this (cp1250) text.
    void answerWithDataSource(const std::string& dataSource);
    // Cancel: DB_E_CANCELED, the data source untouched.
    void answerCancel();

    const std::vector<TPromptCall>& calls() const;
};
