// A provider's initialisation properties as the service components see them: what the provider
// describes through IDBProperties::GetPropertyInfo, the values it holds, and the text form of
// those values used by initialisation strings and the Data Links dialog.
#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <oledb.h>
#include <oledberr.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::services {

// One value in the few shapes initialisation properties take. Integer-like VARTYPEs (VT_I2,
// VT_I4, VT_UI4, VT_I8, ...) keep `integer`; VT_BOOL keeps 0 or 1 in `integer`; VT_BSTR keeps
// `text`. VT_EMPTY means the property has no value.
struct InitValue {
    VARTYPE type = VT_EMPTY;
    std::int64_t integer = 0;
    std::u16string text;

    bool isEmpty() const { return type == VT_EMPTY; }
    friend bool operator==(const InitValue&, const InitValue&) = default;
};

struct InitProperty {
    GUID set{};
    DBPROPID id = 0;
    VARTYPE type = VT_EMPTY;
    DBPROPFLAGS flags = 0;
    std::u16string description; // the provider's name for it, also its keyword
    InitValue value;            // current value (VT_EMPTY when unset or unreadable)
    // The values the provider offers to pick from (DBPROPINFO.vValues), in text form.
    std::vector<std::u16string> offered;

    bool isDbInit(DBPROPID which) const { return set == DBPROPSET_DBINIT && id == which; }
    bool isWritable() const { return (flags & DBPROPFLAGS_WRITE) != 0; }
    bool isPassword() const { return isDbInit(DBPROP_AUTH_PASSWORD); }
};

// Reads every initialisation property the object describes, with its current value.
// Returns S_OK or the failing call's HRESULT (with that call's error object left in place).
HRESULT readInitProperties(IDBProperties* properties, std::vector<InitProperty>& out);

// Writes the given values (each property's `value`; VT_EMPTY asks for the provider's default)
// through one SetProperties call with DBPROPOPTIONS_REQUIRED. On a refusal, `refused` points at the
// first property whose status was not OK and `status` holds that status.
HRESULT writeInitProperties(IDBProperties* properties, const std::vector<InitProperty>& values,
                            const InitProperty** refused = nullptr, DBPROPSTATUS* status = nullptr);

// The property a keyword names: the provider's description first, then the usual synonyms of
// the standard properties ("UID" for "User ID", "Database" for "Initial Catalog", ...).
const InitProperty* findByKeyword(const std::vector<InitProperty>& properties,
                                  std::u16string_view keyword);

// Converts text to a value of the property's type: decimal integers, booleans (true/false,
// yes/no, 1/0), the named DBPROP_INIT_MODE ("ReadWrite|Share Deny None") and DBPROP_INIT_PROMPT
// ("NoPrompt") values. Nothing when the text does not fit the type. An empty text gives an
// empty value for every type but VT_BSTR.
std::optional<InitValue> valueFromText(const InitProperty& property, std::u16string_view text);

// The text form valueFromText reads back to the same value (names for Mode and Prompt).
std::u16string textFromValue(const InitProperty& property, const InitValue& value);

// The named values a property takes, as valueFromText reads them (True/False for VT_BOOL, the
// DBPROP_INIT_MODE and DBPROP_INIT_PROMPT names); empty for other properties.
std::vector<std::u16string> namedValues(const InitProperty& property);

// The text forms of a DBPROPINFO.vValues list: a VT_ARRAY of BSTRs or of integer-like values
// (in the property's text form); nothing for VT_EMPTY or another shape.
std::vector<std::u16string> offeredValueTexts(const InitProperty& property, const VARIANT& values);

// What a user may pick for the property: the provider's offered values, else namedValues.
std::vector<std::u16string> valueChoices(const InitProperty& property);

// VARIANT <-> InitValue for the shapes above; VARIANTs of other types give nothing.
std::optional<InitValue> initValueFromVariant(const VARIANT& variant);
// Fills a VARIANT (initialised by the caller, cleared by the caller); false on no memory.
bool initValueToVariant(const InitValue& value, VARIANT& variant);

// A short name of a DBPROPSTATUS for error descriptions ("the value is not valid").
std::u16string describePropertyStatus(DBPROPSTATUS status);

} // namespace vantrel::services
