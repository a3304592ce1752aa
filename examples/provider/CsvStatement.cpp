#include "CsvStatement.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace csvprovider {

namespace kit = vantrel::kit;
using kit::BackendError;
using kit::ErrorClass;

namespace {

// A whole number written the one way the number itself would be written back: "7" or "-12",
// never "007" or "+7", so that a column of codes with leading zeros stays text.
std::optional<std::int64_t> wholeNumber(const std::string& text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end || std::to_string(value) != text)
        return std::nullopt;
    return value;
}

// The width of a DBTYPE_WSTR column counts UTF-16 units: one per character, two for a
// character beyond the Basic Multilingual Plane (a four-byte UTF-8 sequence).
std::size_t utf16Units(const std::string& utf8) {
    std::size_t units = 0;
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80)
            units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

bool sameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

CsvStatement::CsvStatement(std::filesystem::path file, std::string table, char delimiter,
                           const std::vector<std::string>& selected)
    : file_(std::move(file)), table_(std::move(table)), delimiter_(delimiter) {
    describe(selected);
}

void CsvStatement::describe(const std::vector<std::string>& selected) {
    CsvReader reader(file_, delimiter_);
    Record header;
    if (!reader.next(header))
        throw BackendError(ErrorClass::Other,
                           file_.filename().string() +
                               " is empty: its first line must name the columns");
    fileColumns_ = header.size();
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (!header[i] || header[i]->empty())
            reader.fail("column " + std::to_string(i + 1) + " of the header has no name");
        for (std::size_t j = 0; j < i; ++j)
            if (sameName(*header[i], *header[j]))
                reader.fail("the header names column \"" + *header[i] + "\" twice");
    }

    // One pass over the data decides each column's type and width.
    std::vector<bool> allNumbers(fileColumns_, true);
    std::vector<bool> anyValue(fileColumns_, false);
    std::vector<std::size_t> widths(fileColumns_, 1);
    Record record;
    while (reader.next(record)) {
        checkWidth(reader, record);
        for (std::size_t i = 0; i < fileColumns_; ++i) {
            if (!record[i])
                continue;
            anyValue[i] = true;
            allNumbers[i] = allNumbers[i] && wholeNumber(*record[i]).has_value();
            widths[i] = std::max(widths[i], utf16Units(*record[i]));
        }
    }

    if (selected.empty()) {
        for (std::size_t i = 0; i < fileColumns_; ++i)
            selected_.push_back(i);
    } else {
        for (const std::string& name : selected) {
            auto found = std::find_if(header.begin(), header.end(),
                                      [&](const Field& f) { return sameName(*f, name); });
            if (found == header.end())
                throw BackendError(ErrorClass::Syntax,
                                   "no column \"" + name + "\" in " + file_.filename().string());
            selected_.push_back(static_cast<std::size_t>(found - header.begin()));
        }
    }

    for (std::size_t field : selected_) {
        kit::ColumnInfo column;
        column.name = *header[field];
        const bool numbers = anyValue[field] && allNumbers[field];
        column.type = numbers ? kit::dbtype::I8 : kit::dbtype::WStr;
        column.size = numbers ? 8 : widths[field];
        column.nullable = true; // an empty field is NULL, in any column
        column.baseTable = table_;
        column.baseColumn = column.name;
        columns_.push_back(std::move(column));
    }
}

void CsvStatement::checkWidth(const CsvReader& reader, const Record& record) const {
    if (record.size() != fileColumns_)
        reader.fail(std::to_string(record.size()) + " fields, but the header names " +
                    std::to_string(fileColumns_) + " columns");
}

kit::ParameterInfo CsvStatement::parameterInfo(std::size_t) const {
    throw BackendError(ErrorClass::Other, "the statement has no parameters");
}

void CsvStatement::bind(std::size_t, const kit::ValueView&) {
    throw BackendError(ErrorClass::Other, "the statement has no parameters");
}

bool CsvStatement::step() {
    if (!reader_) {
        reader_ = std::make_unique<CsvReader>(file_, delimiter_);
        if (!reader_->next(record_)) // the header line
            return false;
    }
    if (!reader_->next(record_))
        return false;
    // The file may have changed since it was described; never hand out a row that does not
    // fit the columns the consumer bound.
    checkWidth(*reader_, record_);
    row_.clear();
    for (std::size_t i = 0; i < selected_.size(); ++i) {
        const Field& field = record_[selected_[i]];
        if (!field) {
            row_.emplace_back();
        } else if (columns_[i].type == kit::dbtype::I8) {
            std::optional<std::int64_t> number = wholeNumber(*field);
            if (!number)
                reader_->fail("\"" + *field + "\" in column " + columns_[i].name +
                              " is not a whole number (the file changed after the "
                              "statement was prepared)");
            row_.emplace_back(kit::ValueView::ofInt(*number));
        } else {
            row_.emplace_back(kit::ValueView::ofText(*field));
        }
    }
    return true;
}

kit::ValueView CsvStatement::value(std::size_t index) const {
    return row_[index].view();
}

kit::RowIdentity CsvStatement::rowIdentity() const {
    throw BackendError(ErrorClass::Other, "rows of a CSV file have no identity");
}

} // namespace csvprovider
