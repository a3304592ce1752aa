// The class registry behind CoCreateInstance, CLSIDFromProgID, ProgIDFromCLSID and the OLE DB
// root enumerator. It has two parts:
//  - class files on disk, one per class, written by the modules' DllRegisterServer (through
//    vantrel-regsvr) and read afresh whenever a class is looked up (see platform/com/README.md
//    for the format and the search order);
//  - classes registered in this process only, through VantrelRegisterClass: tests and
//    applications that embed a class. They come first and hide a class file of the same CLSID
//    or ProgID.
// All functions are thread-safe.
#pragma once

#include <string>
#include <vector>

#include "../objbase.h"

// Creates one object of a class and answers the interface riid on it (AddRef'd) in *ppv.
// A class that cannot be aggregated answers CLASS_E_NOAGGREGATION when outer is not null.
// On failure *ppv must be null. ppv is never null when the runtime calls it.
using VantrelCreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// One registered class, as it is registered and as the registry reports it.
struct VantrelClassRegistration {
    CLSID clsid{};
    // Version-dependent ProgID, e.g. u"Vantrel.SQLite.1"; may be empty.
    std::u16string progId;
    // Version-independent ProgID, e.g. u"Vantrel.SQLite"; may be empty.
    std::u16string versionIndependentProgId;
    // Human-readable name, shown by the root enumerator as SOURCES_DESCRIPTION.
    std::u16string description;
    // SOURCES_PARSENAME of the root enumerator; empty means the CLSID in braces.
    std::u16string parseName;
    // DBSOURCETYPE_DATASOURCE_TDP (1), DBSOURCETYPE_ENUMERATOR (2), ...; 0 for a class that is
    // not an OLE DB source (a service component) and is not enumerated.
    DWORD sourceType = 0;
    // The factory of a class that lives in the calling program; null for a class served by a
    // module.
    VantrelCreateInstanceFunction createInstance = nullptr;
    // The module (shared library, absolute path in UTF-8) whose DllGetClassObject serves the
    // class when createInstance is null.
    std::string modulePath;
    // The class file the registration was read from; empty for an in-process registration.
    std::string classFile;
};

// Adds a class for this process, hiding a class file of the same CLSID or ProgID. It needs
// createInstance or a modulePath. Answers S_OK, or without changing the registry: E_INVALIDARG
// for GUID_NULL, neither a factory nor a module, or a ProgID that is not 1 to 39 letters,
// digits, '.' or '_' starting with a letter; HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) when the
// CLSID or either ProgID (compared ignoring ASCII case) belongs to a class registered in this
// process.
HRESULT VantrelRegisterClass(const VantrelClassRegistration& registration);

// Removes a class from this process's view: an in-process registration is dropped, a class
// file is ignored from now on (the file stays). S_OK, or REGDB_E_CLASSNOTREG when the class is
// not registered. Objects already created stay valid; an in-process factory function must stay
// callable for them, as code does.
HRESULT VantrelUnregisterClass(REFCLSID clsid);

// Copies the registration of one class into *registration: S_OK, REGDB_E_CLASSNOTREG, or
// E_POINTER for a null out-pointer.
HRESULT VantrelLookupClass(REFCLSID clsid, VantrelClassRegistration* registration);

// A snapshot of every registered class: in-process registrations in registration order, then
// the class files in search order.
std::vector<VantrelClassRegistration> VantrelRegisteredClasses();

// ---- The class files -------------------------------------------------------------------------

// The environment variable that names the first directory searched (and the one
// DllRegisterServer writes to unless told otherwise).
inline constexpr const char* VantrelClassDirectoryVariable = "VANTREL_CLASSES_DIR";

// The directories searched for class files, in order: $VANTREL_CLASSES_DIR when set, the
// user's ($XDG_DATA_HOME/vantrel/classes, or ~/.local/share/vantrel/classes), the
// installation's (share/vantrel/classes beside the lib/ directory of libvantrel-com).
std::vector<std::string> VantrelClassDirectories();
// The user's directory and the installation's, whether they exist or not.
std::string VantrelUserClassDirectory();
std::string VantrelInstalledClassDirectory();

// UTF-8 of UTF-16 text, as class files and file names hold it; a lone surrogate becomes U+FFFD.
std::string VantrelUtf8(const std::u16string& text);

// A class file that the registry ignores, and why: malformed, unreadable, or naming a CLSID or
// ProgID that an earlier registration already claims.
struct VantrelClassFileProblem {
    std::string file;
    std::string problem;
};
std::vector<VantrelClassFileProblem> VantrelClassFileProblems();

// The directory that DllRegisterServer and DllUnregisterServer of modules write to in this
// process: the one set here, else $VANTREL_CLASSES_DIR, else the installation's. Setting an
// empty or null directory returns to that default.
void VantrelSetRegistrationDirectory(const char* directory);
std::string VantrelRegistrationDirectory();

// Writes the class file of one class served by the module registration.modulePath into the
// registration directory (creating it), replacing a file of the same CLSID. The module path is
// written relative to the directory when both lie under the same installation prefix, so an
// installed tree may be moved. S_OK; E_INVALIDARG for a registration the registry would refuse;
// SELFREG_E_CLASS when the file cannot be written (an error object says why).
HRESULT VantrelWriteClassFile(const VantrelClassRegistration& registration);
// Removes the class file of clsid from the registration directory: S_OK, S_FALSE when there was
// none, SELFREG_E_CLASS when it cannot be removed (an error object says why).
HRESULT VantrelRemoveClassFile(REFCLSID clsid);
