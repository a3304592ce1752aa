// A consumer built outside the project against an installed Vantrel, for the example CSV
// provider built and registered the same way. Only the published COM and OLE DB API:
//
//   csv_provider_consumer read DIRECTORY   writes CSV files into DIRECTORY and reads them
//                                          through the root enumerator, IDataInitialize and
//                                          commands; checks every row and every error
//   csv_provider_consumer absent           the provider is not registered (any more)
//
// Prints each failed check and exits 1 when there was one.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <msdaguid.h>
#include <msdasc.h>
#include <objbase.h>
#include <oleauto.h>
#include <oledb.h>
#include <oledberr.h>

namespace {

const char16_t* const progId = u"Vantrel.Example.CSV.1";
int failures = 0;

std::string narrow(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what.c_str());
        ++failures;
    }
}

void checkHr(HRESULT got, HRESULT wanted, const std::string& what) {
    char text[64];
    std::snprintf(text, sizeof text, ": got 0x%08X, expected 0x%08X", unsigned(got),
                  unsigned(wanted));
    check(got == wanted, what + text);
}

// The description of the calling thread's error object ("" when there is none).
std::u16string lastError() {
    IErrorInfo* info = nullptr;
    std::u16string text;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        BSTR description = nullptr;
        if (SUCCEEDED(info->GetDescription(&description)) && description)
            text = description;
        SysFreeString(description);
        info->Release();
    }
    return text;
}

void checkErrorMentions(const std::u16string& text, const std::u16string& part,
                        const std::string& what) {
    check(text.find(part) != std::u16string::npos,
          what + ": error text \"" + narrow(text) + "\" does not name \"" + narrow(part) + "\"");
}

template <typename T> void release(T*& p) {
    if (p)
        p->Release();
    p = nullptr;
}

// Every row of a rowset, each column read as text ("<null>" for NULL), columns joined by '|';
// the columns' types in `types` when given.
std::vector<std::u16string> readAll(IRowset* rowset, std::vector<DBTYPE>* types = nullptr) {
    std::vector<std::u16string> rows;
    IColumnsInfo* columnsInfo = nullptr;
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* names = nullptr;
    if (FAILED(rowset->QueryInterface(IID_IColumnsInfo, reinterpret_cast<void**>(&columnsInfo))) ||
        FAILED(columnsInfo->GetColumnInfo(&count, &info, &names))) {
        check(false, "GetColumnInfo");
        release(columnsInfo);
        return rows;
    }
    constexpr DBLENGTH width = 256; // characters per value, with room for the NUL
    struct Cell {
        DBSTATUS status;
        DBLENGTH length;
        char16_t value[width];
    };
    std::vector<DBBINDING> bindings;
    for (DBORDINAL i = 0; i < count; ++i) {
        if (info[i].iOrdinal == 0)
            continue; // the bookmark
        if (types)
            types->push_back(info[i].wType);
        DBBINDING b{};
        b.iOrdinal = info[i].iOrdinal;
        b.obStatus = bindings.size() * sizeof(Cell) + offsetof(Cell, status);
        b.obLength = bindings.size() * sizeof(Cell) + offsetof(Cell, length);
        b.obValue = bindings.size() * sizeof(Cell) + offsetof(Cell, value);
        b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
        b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        b.eParamIO = DBPARAMIO_NOTPARAM;
        b.cbMaxLen = sizeof(Cell::value);
        b.wType = DBTYPE_WSTR;
        bindings.push_back(b);
    }
    CoTaskMemFree(info);
    CoTaskMemFree(names);
    release(columnsInfo);

    IAccessor* accessor = nullptr;
    HACCESSOR handle = 0;
    if (FAILED(rowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&accessor))) ||
        FAILED(accessor->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(),
                                        bindings.size() * sizeof(Cell), &handle, nullptr))) {
        check(false, "CreateAccessor");
        release(accessor);
        return rows;
    }
    std::vector<Cell> cells(bindings.size());
    for (;;) {
        HROW row = 0;
        HROW* rowPointer = &row;
        DBCOUNTITEM obtained = 0;
        HRESULT hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &rowPointer);
        if (hr == DB_S_ENDOFROWSET || obtained == 0) {
            check(SUCCEEDED(hr), "GetNextRows: " + narrow(lastError()));
            break;
        }
        hr = rowset->GetData(row, handle, cells.data());
        check(hr == S_OK, "GetData: " + narrow(lastError()));
        std::u16string line;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c)
                line += u'|';
            if (cells[c].status == DBSTATUS_S_ISNULL)
                line += u"<null>";
            else if (cells[c].status == DBSTATUS_S_OK)
                line += std::u16string(cells[c].value, cells[c].length / sizeof(char16_t));
            else
                line += u"<status " + std::u16string(1, char16_t(u'0' + cells[c].status)) + u">";
        }
        rows.push_back(line);
        rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    }
    accessor->ReleaseAccessor(handle, nullptr);
    release(accessor);
    return rows;
}

void checkRows(const std::vector<std::u16string>& got, const std::vector<std::u16string>& wanted,
               const std::string& what) {
    bool same = got == wanted;
    check(same, what + ": rows differ");
    if (!same) {
        for (const auto& r : got)
            std::printf("  got:    %s\n", narrow(r).c_str());
        for (const auto& r : wanted)
            std::printf("  wanted: %s\n", narrow(r).c_str());
    }
}

// The ProgIDs (SOURCES_NAME) the root enumerator lists.
std::vector<std::u16string> enumeratedSources() {
    std::vector<std::u16string> names;
    ISourcesRowset* sources = nullptr;
    IRowset* rowset = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_OLEDB_ENUMERATOR, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ISourcesRowset, reinterpret_cast<void**>(&sources));
    checkHr(hr, S_OK, "root enumerator");
    if (sources) {
        hr = sources->GetSourcesRowset(nullptr, IID_IRowset, 0, nullptr,
                                       reinterpret_cast<IUnknown**>(&rowset));
        checkHr(hr, S_OK, "GetSourcesRowset");
    }
    if (rowset)
        for (const std::u16string& row : readAll(rowset))
            names.push_back(row.substr(0, row.find(u'|')));
    release(rowset);
    release(sources);
    return names;
}

bool listed(const std::vector<std::u16string>& names, const std::u16string& name) {
    for (const auto& n : names)
        if (n == name)
            return true;
    return false;
}

// A data source made from an initialisation string; Initialize's answer in `initialized`.
IDBInitialize* dataSource(IDataInitialize* services, const std::u16string& init,
                          HRESULT& initialized) {
    IDBInitialize* source = nullptr;
    initialized = E_FAIL;
    HRESULT hr =
        services->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, const_cast<LPOLESTR>(init.c_str()),
                                IID_IDBInitialize, reinterpret_cast<IUnknown**>(&source));
    checkHr(hr, S_OK, "GetDataSource(" + narrow(init) + ")");
    if (source)
        initialized = source->Initialize();
    return source;
}

// Runs `sql` on a new command of the session. Answers Execute's HRESULT; the rows in `rows`.
HRESULT run(IDBCreateCommand* session, const std::u16string& sql,
            std::vector<std::u16string>* rows = nullptr, std::vector<DBTYPE>* types = nullptr) {
    ICommandText* command = nullptr;
    HRESULT hr =
        session->CreateCommand(nullptr, IID_ICommandText, reinterpret_cast<IUnknown**>(&command));
    if (FAILED(hr))
        return hr;
    hr = command->SetCommandText(DBGUID_DEFAULT, sql.c_str());
    IRowset* rowset = nullptr;
    if (SUCCEEDED(hr))
        hr = command->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                              reinterpret_cast<IUnknown**>(&rowset));
    const std::u16string error = FAILED(hr) ? lastError() : u"";
    if (rowset && rows)
        *rows = readAll(rowset, types);
    release(rowset);
    release(command);
    if (FAILED(hr)) { // keep the error object for the caller
        ICreateErrorInfo* create = nullptr;
        if (SUCCEEDED(CreateErrorInfo(&create))) {
            create->SetDescription(const_cast<LPOLESTR>(error.c_str()));
            IErrorInfo* info = nullptr;
            create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
            SetErrorInfo(0, info);
            release(info);
            release(create);
        }
    }
    return hr;
}

void write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    check(bool(out), "writing " + path);
}

void readChecks(const std::string& directory) {
    // Quotes, a doubled quote, a line break inside a field, CRLF endings, a byte order mark,
    // Czech text, NULL (empty) and empty text (""), and a header name with a space.
    write(directory + "/people.csv", "\xEF\xBB\xBFid,name,city,\"home town\"\r\n"
                                     "1,Jana Nováková,Praha,\"Brno, Morava\"\r\n"
                                     "2,\"Petr \"\"Pepa\"\" Svoboda\",,\"\"\r\n"
                                     "\r\n"
                                     "3,\"two\nlines\",Ústí,x\r\n");
    write(directory + "/broken.csv", "a,b\n1,2\n3,x\"y\n");
    write(directory + "/short.csv", "a,b\n1,2\n3\n");
    write(directory + "/empty.csv", "");
    write(directory + "/codes.csv", "code,n,nothing\n007,1,\n042,-5,\n");
    write(directory + "/semi.csv", "a;b\n1;2\n");
    write(directory + "/../outside.csv", "secret\n42\n");

    const std::vector<std::u16string> sources = enumeratedSources();
    check(listed(sources, progId), "the root enumerator lists the example provider");
    check(listed(sources, u"Vantrel.SQLite.1"), "the root enumerator lists the SQLite provider");

    IDataInitialize* services = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IDataInitialize, reinterpret_cast<void**>(&services));
    checkHr(hr, S_OK, "data initialisation service");
    if (!services)
        return;
    std::u16string dir16(directory.begin(), directory.end()); // the test's path is ASCII

    HRESULT initialized = E_FAIL;
    IDBInitialize* source =
        dataSource(services, u"Provider=Vantrel.Example.CSV.1;Data Source=" + dir16, initialized);
    checkHr(initialized, S_OK, "Initialize: " + narrow(lastError()));
    IDBCreateSession* createSession = nullptr;
    IDBCreateCommand* session = nullptr;
    if (source && SUCCEEDED(initialized) &&
        SUCCEEDED(
            source->QueryInterface(IID_IDBCreateSession, reinterpret_cast<void**>(&createSession))))
        createSession->CreateSession(nullptr, IID_IDBCreateCommand,
                                     reinterpret_cast<IUnknown**>(&session));
    check(session != nullptr, "a session with commands");
    if (session) {
        std::vector<std::u16string> rows;
        checkHr(run(session, u"SELECT * FROM people", &rows), S_OK, "SELECT * FROM people");
        checkRows(rows,
                  {u"1|Jana Nováková|Praha|Brno, Morava", u"2|Petr \"Pepa\" Svoboda|<null>|",
                   u"3|two\nlines|Ústí|x"},
                  "SELECT * FROM people");

        IOpenRowset* open = nullptr;
        IRowset* table = nullptr;
        DBID id{};
        id.eKind = DBKIND_NAME;
        id.uName.pwszName = const_cast<LPOLESTR>(u"People");
        if (SUCCEEDED(session->QueryInterface(IID_IOpenRowset, reinterpret_cast<void**>(&open))))
            checkHr(open->OpenRowset(nullptr, &id, nullptr, IID_IRowset, 0, nullptr,
                                     reinterpret_cast<IUnknown**>(&table)),
                    S_OK, "IOpenRowset on People");
        check(table && readAll(table) == rows, "IOpenRowset gives the rows of SELECT *");
        release(table);
        release(open);

        std::vector<DBTYPE> types;
        rows.clear();
        checkHr(run(session, u"SELECT * FROM codes", &rows, &types), S_OK, "SELECT * FROM codes");
        checkRows(rows, {u"007|1|<null>", u"042|-5|<null>"}, "leading zeros and NULLs");
        check(types == std::vector<DBTYPE>{DBTYPE_WSTR, DBTYPE_I8, DBTYPE_WSTR},
              "codes with leading zeros stay text, whole numbers are DBTYPE_I8, a column "
              "without values is text");

        rows.clear();
        checkHr(run(session, u"select \"home town\", ID from PEOPLE;", &rows), S_OK,
                "columns chosen by name, in any case");
        checkRows(rows, {u"Brno, Morava|1", u"|2", u"x|3"}, "columns chosen by name");

        rows.clear();
        checkHr(run(session, u"SELECT * FROM semi", &rows), S_OK, "SELECT * FROM semi");
        checkRows(rows, {u"1;2"}, "a comma-separated reading of semi.csv");

        hr = run(session, u"SELECT * FROM broken");
        check(FAILED(hr), "a malformed line fails the command");
        checkErrorMentions(lastError(), u"broken.csv, line 3", "malformed line");
        hr = run(session, u"SELECT * FROM short");
        check(FAILED(hr), "a line with too few fields fails the command");
        checkErrorMentions(lastError(), u"short.csv, line 3", "short line");
        hr = run(session, u"SELECT * FROM empty");
        check(FAILED(hr), "a file without a header line fails the command");
        checkErrorMentions(lastError(), u"empty.csv", "empty file");

        checkHr(run(session, u"SELECT * FROM nothere"), DB_E_NOTABLE, "a missing table");
        checkErrorMentions(lastError(), u"nothere.csv", "missing table");
        checkHr(run(session, u"SELECT * FROM \"../outside\""), DB_E_NOTABLE,
                "a table name reaching outside the directory");
        checkHr(run(session, u"SELECT nope FROM people"), DB_E_ERRORSINCOMMAND,
                "an unknown column");
        checkErrorMentions(lastError(), u"nope", "unknown column");
        checkHr(run(session, u"DELETE FROM people"), DB_E_ERRORSINCOMMAND,
                "a statement the provider does not run");
        checkErrorMentions(lastError(), u"SELECT", "unsupported statement");
    }
    release(session);
    release(createSession);
    release(source);

    // The delimiter comes from Extended Properties.
    source = dataSource(services,
                        u"Provider=Vantrel.Example.CSV;Data Source=" + dir16 +
                            u";Extended Properties='Delimiter=;'",
                        initialized);
    checkHr(initialized, S_OK, "Initialize with a delimiter: " + narrow(lastError()));
    if (source && SUCCEEDED(initialized) &&
        SUCCEEDED(
            source->QueryInterface(IID_IDBCreateSession, reinterpret_cast<void**>(&createSession))))
        createSession->CreateSession(nullptr, IID_IDBCreateCommand,
                                     reinterpret_cast<IUnknown**>(&session));
    if (session) {
        std::vector<std::u16string> rows;
        checkHr(run(session, u"SELECT b FROM semi", &rows), S_OK, "SELECT b FROM semi");
        checkRows(rows, {u"2"}, "semi.csv separated by ';'");
    }
    release(session);
    release(createSession);
    release(source);

    source =
        dataSource(services, u"Provider=Vantrel.Example.CSV.1;Data Source=" + dir16 + u"/missing",
                   initialized);
    check(FAILED(initialized), "a missing directory fails Initialize");
    checkErrorMentions(lastError(), dir16 + u"/missing", "missing directory");
    release(source);

    source = dataSource(services,
                        u"Provider=Vantrel.Example.CSV.1;Data Source=" + dir16 +
                            u";Extended Properties='Separator=;'",
                        initialized);
    check(FAILED(initialized), "an unknown Extended Properties key fails Initialize");
    checkErrorMentions(lastError(), u"Separator", "bad Extended Properties");
    release(source);
    release(services);
}

void absentChecks() {
    check(!listed(enumeratedSources(), progId), "an unregistered provider is not listed");
    CLSID clsid{};
    check(FAILED(CLSIDFromProgID(progId, &clsid)), "an unregistered ProgID is not found");
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!(mode == "read" && argc == 3) && mode != "absent") {
        std::fprintf(stderr, "usage: csv_provider_consumer read DIRECTORY | absent\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    if (mode == "read")
        readChecks(argv[2]);
    else
        absentChecks();
    CoUninitialize();
    std::printf("%s: %s\n", mode.c_str(), failures ? "FAILED" : "every check passed");
    return failures ? 1 : 0;
}
