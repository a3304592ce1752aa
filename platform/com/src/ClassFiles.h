// The class files on disk: parsing, writing, and the cached view of every directory searched.
// Shared between the runtime's own translation units; not installed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vantrel/ClassRegistry.h"

namespace vantrel::com {

// What one class file holds: a registration, or why it cannot be used.
struct ParsedClassFile {
    bool valid = false;
    VantrelClassRegistration registration;
    std::string problem;
};

// Parses the text of the class file at path (UTF-8, "Key=Value" lines). A relative module path
// is resolved against the file's directory.
ParsedClassFile parseClassFile(const std::string& path, const std::string& text);

// The text of the class file for registration, written into directory.
std::string formatClassFile(const VantrelClassRegistration& registration,
                            const std::string& directory);

// The file name of a CLSID's class file: "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX.class".
std::string classFileName(REFCLSID clsid);

// Every usable class of the directories searched, in search order with later claims of a
// CLSID or ProgID dropped, and the files that were dropped or unusable.
struct DiskClasses {
    std::vector<VantrelClassRegistration> classes;
    std::vector<VantrelClassFileProblem> problems;
};

// The current view. Each call looks at the directories again, but only a file that changed
// since the last call is read again, and the view is rebuilt only when something changed.
std::shared_ptr<const DiskClasses> currentDiskClasses();

// A ProgID as COM allows it: at most 39 characters, letters, digits, '.' and '_', beginning
// with a letter. Empty means "none".
bool isValidProgId(const std::u16string& progId);
// Same text ignoring ASCII case.
bool sameProgId(const std::u16string& a, const std::u16string& b);

// UTF-8 and UTF-16 text of registrations. utf8ToUtf16 answers false for malformed input.
bool utf8ToUtf16(const std::string& in, std::u16string& out);
std::string utf16ToUtf8(const std::u16string& in);
std::string bracedGuid(REFGUID guid);

// Posts an error object with this description (UTF-8) on the calling thread.
void postRuntimeError(const std::string& description);

} // namespace vantrel::com
