#include "CsvProvider.h"

#include "CsvConnection.h"

#include <array>
#include <cctype>

namespace csvprovider {

namespace kit = vantrel::kit;
using kit::BackendError;
using kit::ErrorClass;

namespace {

constexpr kit::VarType vtBstr = 8;
constexpr std::uint32_t readWrite = kit::propFlagDbInit | kit::propFlagRead | kit::propFlagWrite;

// One table drives GetPropertyInfo, the connection-string keywords ("Data Source=...") and
// the Data Links dialog; a property is added here and nowhere else.
constexpr std::array<kit::PropertyRow, 2> initialisationProperties = {{
    {kit::PropertySet::DbInit, propDataSource, vtBstr, readWrite | kit::propFlagRequired, 0,
     nullptr, u"Data Source"},
    {kit::PropertySet::DbInit, propProviderString, vtBstr, readWrite, 0, nullptr,
     u"Extended Properties"},
}};

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// "Delimiter=;" -> ';'. Anything else is refused, so a typing error does not go unnoticed.
char delimiterFrom(const std::string& extended) {
    if (extended.empty())
        return ',';
    const std::size_t equals = extended.find('=');
    const std::string key = upper(extended.substr(0, equals));
    if (equals == std::string::npos || key != "DELIMITER")
        throw BackendError(ErrorClass::CantOpen, "Extended Properties: \"" + extended +
                                                     "\" is not Delimiter=<character>");
    const std::string value = extended.substr(equals + 1);
    if (upper(value) == "TAB")
        return '\t';
    if (value.size() != 1 || value[0] == '"' || value[0] == '\n' || value[0] == '\r')
        throw BackendError(ErrorClass::CantOpen,
                           "Extended Properties: the delimiter must be one character other "
                           "than a quote or a line break, or Tab; not \"" +
                               value + "\"");
    return value[0];
}

std::unique_ptr<kit::Connection> openCsvConnection(const kit::InitSettings& settings) {
    const kit::Value* directory =
        kit::findSetting(settings, kit::PropertySet::DbInit, propDataSource);
    if (!directory || directory->isNull() || directory->bytes.empty())
        throw BackendError(ErrorClass::CantOpen,
                           "Data Source is empty: name the directory that holds the CSV files");
    const kit::Value* extended =
        kit::findSetting(settings, kit::PropertySet::DbInit, propProviderString);
    const char delimiter = delimiterFrom(extended && !extended->isNull() ? extended->bytes : "");
    return std::make_unique<CsvConnection>(directory->bytes, delimiter);
}

} // namespace

const kit::ProviderDescriptor& csvProviderDescriptor() {
    static const kit::ProviderDescriptor descriptor{
        "{D5768D1F-69E5-4F03-8BA8-4AFE991EAF59}",
        u"Vantrel.Example.CSV.1",
        u"Vantrel.Example.CSV",
        u"Vantrel Example OLE DB Provider for CSV Files",
        u"Vantrel Example OLE DB Provider for CSV Files",
        u"01.00.0000",
        u"vantrel-example-csv.so",
        initialisationProperties,
        &openCsvConnection,
    };
    return descriptor;
}

} // namespace csvprovider
