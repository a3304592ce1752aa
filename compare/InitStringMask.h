#pragma once
// What vantrel-compare reads from an OLE DB initialisation string without handing it to OLE
// DB: the provider it names, and the string with its passwords masked for reports. It follows
// the syntax the data initialisation service accepts: keyword=value pairs separated by ';',
// values optionally quoted with ' or " (the same quote doubled inside), "==" standing for '='
// in a keyword, blanks around keywords and values dropped.

#include <string>
#include <vector>

// The text every password is replaced with.
inline constexpr const char* maskedPassword = "***";

// The string as written, with the value of every Password, PWD and "Jet OLEDB:Database
// Password" keyword (any case) replaced by maskedPassword. A quoted password loses its quotes
// with the value; an unterminated quote masks everything after it.
std::string maskPasswords(const std::string& initString);

// The value of the (last) Provider keyword, unquoted and trimmed; empty when there is none.
std::string providerOf(const std::string& initString);

// The password values the string holds, unquoted, for removing them from free text.
std::vector<std::string> passwordsOf(const std::string& initString);

// text with every occurrence of each of the secrets replaced by maskedPassword. Secrets shorter
// than four characters are masked only where they stand as a whole word, so that a short
// password does not blot out every occurrence of its letters in an error message.
std::string redactSecrets(std::string text, const std::vector<std::string>& secrets);
