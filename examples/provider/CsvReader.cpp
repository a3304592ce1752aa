#include "CsvReader.h"

namespace csvprovider {

using vantrel::kit::BackendError;
using vantrel::kit::ErrorClass;

CsvReader::CsvReader(const std::filesystem::path& file, char delimiter)
    : file_(file), in_(file, std::ios::binary), delimiter_(delimiter) {
    if (!in_)
        throw BackendError(ErrorClass::NoTable, "cannot read " + file.string());
    // A byte order mark says only "UTF-8", which the text is anyway.
    char bom[3] = {};
    if (!in_.read(bom, 3) || bom[0] != '\xEF' || bom[1] != '\xBB' || bom[2] != '\xBF') {
        in_.clear();
        in_.seekg(0);
    }
}

void CsvReader::fail(const std::string& what) const {
    throw BackendError(ErrorClass::Other, file_.filename().string() + ", line " +
                                              std::to_string(recordLine_) + ": " + what);
}

bool CsvReader::next(Record& record) {
    record.clear();
    std::string text;
    bool quoted = false;    // the current field started with a quote
    bool inQuotes = false;  // between its opening and closing quote
    bool fieldStart = true; // nothing of the current field read yet
    bool anything = false;  // the record has at least one character
    recordLine_ = line_;

    auto endField = [&] {
        if (quoted || !text.empty())
            record.emplace_back(std::move(text));
        else
            record.emplace_back(std::nullopt);
        text.clear();
        quoted = false;
        fieldStart = true;
    };

    for (;;) {
        const int c = in_.get();
        if (c == std::char_traits<char>::eof()) {
            if (inQuotes)
                fail("a quoted field is not closed before the end of the file");
            if (!anything)
                return false;
            endField();
            return true;
        }
        const char ch = static_cast<char>(c);
        if (inQuotes) {
            if (ch == '"') {
                if (in_.peek() == '"') {
                    in_.get();
                    text += '"';
                } else {
                    inQuotes = false;
                }
            } else {
                if (ch == '\n')
                    ++line_;
                text += ch;
            }
            continue;
        }
        if (ch == '\r' && in_.peek() == '\n')
            continue; // the LF that follows ends the record
        if (ch == '\n') {
            ++line_;
            if (!anything) { // an empty line
                recordLine_ = line_;
                continue;
            }
            endField();
            return true;
        }
        anything = true;
        if (ch == delimiter_) {
            endField();
        } else if (ch == '"') {
            if (!fieldStart)
                fail(quoted ? "text after a closing quote" : "a quote inside an unquoted field");
            quoted = inQuotes = true;
            fieldStart = false;
        } else {
            if (quoted)
                fail("text after a closing quote");
            text += ch;
            fieldStart = false;
        }
    }
}

} // namespace csvprovider
