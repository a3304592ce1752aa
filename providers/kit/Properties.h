// Properties as declarative tables: one table per object kind drives GetProperties,
// SetProperties and GetPropertyInfo, so a property is added in one place.
#pragma once

#include "Backend.h"

#include "KitCom.h"

#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vantrel::kit {

// {7A1F3C10-5B2E-4C8D-9E61-0B3A4D5C6E01}: initialisation properties the kit adds to every
// provider (kitPropConcurrency).
extern const GUID DBPROPSET_VANTREL_KITINIT;

struct PropertyDef {
    const GUID* set;
    DBPROPID id;
    VARTYPE type;
    DBPROPFLAGS flags;
    LONG intDefault;             // VT_I2, VT_I4, VT_BOOL (0 false, else true)
    const char16_t* textDefault; // VT_BSTR; nullptr = empty
    const char16_t* description;
    std::vector<std::u16string> (*offeredValues)() = nullptr; // see PropertyRow
};

// One property's value. VT_EMPTY = no value.
struct PropertyValue {
    VARTYPE type = VT_EMPTY;
    LONG integer = 0;
    std::u16string text;

    static PropertyValue ofDefault(const PropertyDef& def);
    static PropertyValue ofBool(bool b) { return {VT_BOOL, b ? 1 : 0, {}}; }
    static PropertyValue ofInt(LONG i) { return {VT_I4, i, {}}; }
    static PropertyValue ofText(std::u16string t) { return {VT_BSTR, 0, std::move(t)}; }
    bool boolean() const { return type == VT_BOOL && integer != 0; }
    // Writes a fresh VARIANT (the caller clears it).
    void toVariant(VARIANT& v) const;
    // Reads a VARIANT of the property's type; false when it has another type.
    static bool fromVariant(const VARIANT& v, VARTYPE wanted, PropertyValue& out);
    friend bool operator==(const PropertyValue&, const PropertyValue&) = default;
};

// The properties of one object: a table of definitions and their current values. The
// defaults are shared by every store over the same table; a store keeps only the properties
// set or assigned since, so copying one (every command and rowset has one) copies those few.
class PropertyStore {
public:
    explicit PropertyStore(std::vector<PropertyDef> defs);
    // Over a table shared by many stores (every command and rowset has one).
    explicit PropertyStore(std::shared_ptr<const std::vector<PropertyDef>> defs);

    const std::vector<PropertyDef>& defs() const { return *defs_; }
    const PropertyDef* find(REFGUID set, DBPROPID id) const;
    // Contract: defined. The reference holds until the store next changes.
    const PropertyValue& value(REFGUID set, DBPROPID id) const;
    // Sets internally (no flag checks), e.g. the information properties after Initialize.
    void assign(REFGUID set, DBPROPID id, PropertyValue value);
    void resetAll();
    // Whether the consumer set the property as DBPROPOPTIONS_OPTIONAL.
    bool isOptional(REFGUID set, DBPROPID id) const;
    // Whether the consumer set the property at all (as opposed to its default).
    bool isSet(REFGUID set, DBPROPID id) const;

    // Which property sets are visible now (e.g. DATASOURCEINFO only after Initialize).
    using SetFilter = bool (*)(REFGUID set, const void* context);
    // Checks a value before SetProperties accepts it; returns a DBPROPSTATUS.
    using Validator = DBPROPSTATUS (*)(const PropertyDef& def, const PropertyValue& value,
                                       const void* context);

    HRESULT getProperties(ULONG count, const DBPROPIDSET sets[], ULONG* setCount,
                          DBPROPSET** result, SetFilter visible, const void* context) const;
    // writable: whether the definitions' write flag applies now (false: every property is
    // reported DBPROPSTATUS_NOTSETTABLE). Failed required properties make the call fail.
    HRESULT setProperties(ULONG count, DBPROPSET sets[], bool writable, Validator validate,
                          const void* context);
    HRESULT getPropertyInfo(ULONG count, const DBPROPIDSET sets[], ULONG* setCount,
                            DBPROPINFOSET** result, OLECHAR** descriptions, SetFilter visible,
                            const void* context) const;

private:
    // A property that no longer stands at its default.
    struct Changed {
        std::size_t index; // into defs_
        PropertyValue value;
        bool optional = false;
        bool set = false;
    };
    // What every store over one definition table shares: the defaults and a direct index.
    struct Table;
    static const std::shared_ptr<const Table>& sharedRowsetTable();
    std::shared_ptr<const std::vector<PropertyDef>> defs_;
    std::shared_ptr<const Table> table_;
    std::vector<Changed> changed_;
    std::size_t indexOf(REFGUID set, DBPROPID id) const; // defs_.size() when missing
    const Changed* changedAt(std::size_t index) const;
    Changed& change(std::size_t index);
    const PropertyValue& valueAt(std::size_t index) const;
};

// The tables.
std::span<const PropertyDef> dataSourceInfoProperties();
std::span<const PropertyDef> sessionProperties();
std::span<const PropertyDef> rowsetProperties();
// The rowset table as one shared definition list, for the stores of commands and rowsets.
const std::shared_ptr<const std::vector<PropertyDef>>& sharedRowsetProperties();
// The initialisation table of a provider: the backend's rows plus the kit's own.
std::vector<PropertyDef> initProperties(std::span<const PropertyRow> backendRows);

// Frees what GetProperties returned (for the kit's own use and tests).
void freePropertySets(ULONG count, DBPROPSET* sets);

} // namespace vantrel::kit
