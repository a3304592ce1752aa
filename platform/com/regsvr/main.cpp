// vantrel-regsvr: registers in-process server modules in the class registry (their
// DllRegisterServer), unregisters them (-u, DllUnregisterServer) and lists the registry.
// Each failure is one line on standard error and a non-zero exit status.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "objbase.h"
#include "oleauto.h"
#include "vantrel/ClassRegistry.h"

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: vantrel-regsvr [-u] [--user | --dir DIRECTORY] MODULE.so...\n"
                 "       vantrel-regsvr --list [--user | --dir DIRECTORY]\n"
                 "Registers the classes of each module (-u: unregisters them) in the class\n"
                 "registry: by default in $%s when set, else in the installation's;\n"
                 "--user: in the user's own (%s); --dir: in DIRECTORY.\n"
                 "--list prints every registered class in search order and the class files\n"
                 "that are ignored, and why.\n",
                 VantrelClassDirectoryVariable, VantrelUserClassDirectory().c_str());
}

std::string guidText(REFGUID guid) {
    OLECHAR text[CHARS_IN_GUID];
    StringFromGUID2(guid, text, CHARS_IN_GUID);
    return VantrelUtf8(text);
}

// The description of the calling thread's error object, or empty.
std::string errorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info)
        return {};
    BSTR description = nullptr;
    std::string text;
    if (SUCCEEDED(info->GetDescription(&description)) && description)
        text = VantrelUtf8(description);
    SysFreeString(description);
    info->Release();
    return text;
}

// Registers or unregisters one module; prints one line and answers false on failure.
bool runModule(const std::string& given, bool unregister) {
    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    char* resolved = ::realpath(given.c_str(), nullptr);
    if (!resolved) {
        std::fprintf(stderr, "vantrel-regsvr: %s: %s\n", given.c_str(), std::strerror(errno));
        return false;
    }
    const std::string path = resolved;
    std::free(resolved);
    // The module stays loaded until the program exits: a library it brought in (Qt) may keep
    // blocks until then, and a leak checker can only name their owner while it is mapped.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = ::dlerror();
        std::fprintf(stderr, "vantrel-regsvr: %s is not a loadable module: %s\n", given.c_str(),
                     reason ? reason : "unknown reason");
        return false;
    }
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<Entry>(::dlsym(handle, entryName));
    if (!entry || !::dlsym(handle, "DllGetClassObject")) {
        std::fprintf(stderr,
                     "vantrel-regsvr: %s is not an in-process server module: it does not "
                     "export %s and DllGetClassObject\n",
                     given.c_str(), entryName);
        return false;
    }
    SetErrorInfo(0, nullptr);
    const HRESULT hr = entry();
    if (FAILED(hr)) {
        const std::string why = errorDescription();
        std::fprintf(stderr, "vantrel-regsvr: %s: %s failed (0x%08X)%s%s\n", given.c_str(),
                     entryName, unsigned(hr), why.empty() ? "" : ": ", why.c_str());
    } else {
        std::printf("%s %s in %s\n", unregister ? "unregistered" : "registered", given.c_str(),
                    VantrelRegistrationDirectory().c_str());
    }
    return SUCCEEDED(hr);
}

void list() {
    std::printf("Class directories, in search order:\n");
    for (const std::string& directory : VantrelClassDirectories()) {
        struct stat info {};
        std::printf("  %s%s\n", directory.c_str(),
                    ::stat(directory.c_str(), &info) == 0 ? "" : " (does not exist)");
    }
    std::printf("Registered classes:\n");
    for (const VantrelClassRegistration& c : VantrelRegisteredClasses()) {
        const std::u16string& progId = c.progId.empty() ? c.versionIndependentProgId : c.progId;
        std::printf("  %s %s  %s\n", guidText(c.clsid).c_str(),
                    progId.empty() ? "-" : VantrelUtf8(progId).c_str(),
                    VantrelUtf8(c.description).c_str());
        if (!c.modulePath.empty()) {
            struct stat info {};
            std::printf("      module %s%s\n", c.modulePath.c_str(),
                        ::stat(c.modulePath.c_str(), &info) == 0 ? "" : " (missing)");
        }
        if (!c.classFile.empty())
            std::printf("      file   %s\n", c.classFile.c_str());
    }
    const std::vector<VantrelClassFileProblem> problems = VantrelClassFileProblems();
    if (!problems.empty()) {
        std::printf("Ignored class files:\n");
        for (const VantrelClassFileProblem& p : problems)
            std::printf("  %s: %s\n", p.file.c_str(), p.problem.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool listing = false;
    std::string directory;
    std::vector<std::string> modules;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-u" || arg == "--unregister") {
            unregister = true;
        } else if (arg == "--list" || arg == "-l") {
            listing = true;
        } else if (arg == "--user") {
            directory = VantrelUserClassDirectory();
            if (directory.empty()) {
                std::fprintf(stderr, "vantrel-regsvr: there is no home directory for --user\n");
                return exitFailure;
            }
        } else if (arg == "--dir") {
            if (++i == argc || !*argv[i]) {
                std::fprintf(stderr, "vantrel-regsvr: --dir needs a directory\n");
                return exitUsage;
            }
            directory = argv[i];
        } else if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "vantrel-regsvr: unknown option %s (see --help)\n", arg.c_str());
            return exitUsage;
        } else {
            modules.push_back(arg);
        }
    }
    if (listing == !modules.empty() || (listing && unregister)) {
        usage(stderr);
        return exitUsage;
    }
    if (!directory.empty()) {
        // The chosen directory is the one written to and, for --list, the first one searched.
        VantrelSetRegistrationDirectory(directory.c_str());
        ::setenv(VantrelClassDirectoryVariable, directory.c_str(), 1);
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "vantrel-regsvr: the COM runtime cannot be entered\n");
        return exitFailure;
    }
    int status = 0;
    if (listing) {
        list();
    } else {
        for (const std::string& module : modules)
            if (!runModule(module, unregister))
                status = exitFailure;
    }
    CoUninitialize();
    return status;
}
