// Reading one CSV file record by record.
//
// The dialect is the common one: fields separated by one delimiter character (a comma unless the
// data source says otherwise), records ended by LF or CRLF, a field in double quotes may hold the
// delimiter, line breaks and doubled quotes (""). An empty unquoted field is NULL; a quoted empty
// field ("") is an empty text. Lines with nothing on them are skipped, and so is a UTF-8 byte
// order mark at the start of the file.
#pragma once

#include <kit/Backend.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace csvprovider {

// One field of a record: std::nullopt for NULL.
using Field = std::optional<std::string>;
using Record = std::vector<Field>;

class CsvReader {
public:
    // Opens the file. Throws kit::BackendError (NoTable) when it cannot be read.
    CsvReader(const std::filesystem::path& file, char delimiter);

    // Reads the next record into `record`. Answers false at the end of the file. Throws
    // kit::BackendError naming the file and the line when the record is malformed (a quote
    // inside an unquoted field, text after a closing quote, a quote left open at the end).
    bool next(Record& record);

    // The line on which the record last returned by next() starts (1-based).
    std::size_t recordLine() const { return recordLine_; }

    // Throws kit::BackendError (Other) with "<file>, line <recordLine()>: <what>".
    [[noreturn]] void fail(const std::string& what) const;

private:
    std::filesystem::path file_;
    std::ifstream in_;
    char delimiter_;
    std::size_t line_ = 1;
    std::size_t recordLine_ = 0;
};

} // namespace csvprovider
