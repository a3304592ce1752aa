// The directories of class files: where they are, the cached view of what they hold, and
// writing and removing one class file.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

#include "ClassFiles.h"
#include "RuntimeInternal.h"

namespace vantrel::com {

namespace {

// A class file larger than this is not one.
constexpr off_t largestClassFile = 64 * 1024;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// What identifies one version of a file: a change of any of these means it is read again.
struct FileStamp {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    bool operator==(const FileStamp& o) const {
        return path == o.path && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

// Reads one class file, refusing what cannot be one.
ParsedClassFile readClassFile(const std::string& path) {
    ParsedClassFile refused;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        refused.problem = std::string("it cannot be read: ") + std::strerror(errno);
        return refused;
    }
    struct stat info {};
    std::string text;
    bool ok = ::fstat(fd, &info) == 0;
    if (ok && !S_ISREG(info.st_mode)) {
        refused.problem = "it is not a regular file";
        ok = false;
    } else if (ok && info.st_size > largestClassFile) {
        refused.problem = "it is larger than 64 KiB";
        ok = false;
    }
    while (ok) {
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            refused.problem = std::string("it cannot be read: ") + std::strerror(errno);
            ok = false;
        } else if (got == 0) {
            break;
        } else {
            text.append(buffer, std::size_t(got));
            if (text.size() > std::size_t(largestClassFile)) {
                refused.problem = "it is larger than 64 KiB";
                ok = false;
            }
        }
    }
    ::close(fd);
    return ok ? parseClassFile(path, text) : refused;
}

// The class files of one directory, by name.
std::vector<FileStamp> listDirectory(const std::string& directory) {
    std::vector<FileStamp> files;
    DIR* dir = ::opendir(directory.c_str());
    if (!dir)
        return files;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= 6 || name[0] == '.' || name.compare(name.size() - 6, 6, ".class") != 0)
            continue;
        FileStamp stamp;
        stamp.path = directory + "/" + name;
        struct stat info {};
        if (::stat(stamp.path.c_str(), &info) == 0) {
            stamp.device = info.st_dev;
            stamp.inode = info.st_ino;
            stamp.size = info.st_size;
            stamp.modified = info.st_mtim;
        }
        files.push_back(std::move(stamp));
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end(),
              [](const FileStamp& a, const FileStamp& b) { return a.path < b.path; });
    return files;
}

bool claimsProgId(const VantrelClassRegistration& entry, const std::u16string& progId) {
    return !progId.empty() &&
           (sameProgId(entry.progId, progId) || sameProgId(entry.versionIndependentProgId, progId));
}

// Builds the view from parsed files in search order: the first claim of a CLSID or ProgID wins.
std::shared_ptr<DiskClasses> buildView(const std::vector<FileStamp>& files,
                                       const std::map<std::string, ParsedClassFile>& parsed) {
    auto view = std::make_shared<DiskClasses>();
    for (const FileStamp& file : files) {
        const ParsedClassFile& entry = parsed.at(file.path);
        if (!entry.valid) {
            view->problems.push_back({file.path, entry.problem});
            continue;
        }
        const VantrelClassRegistration& r = entry.registration;
        std::string clash;
        for (const VantrelClassRegistration& earlier : view->classes) {
            if (earlier.clsid == r.clsid)
                clash = "its CLSID " + bracedGuid(r.clsid);
            else if (claimsProgId(earlier, r.progId))
                clash = "its ProgID " + utf16ToUtf8(r.progId);
            else if (claimsProgId(earlier, r.versionIndependentProgId))
                clash = "its ProgID " + utf16ToUtf8(r.versionIndependentProgId);
            if (!clash.empty()) {
                view->problems.push_back(
                    {file.path, clash + " is already registered by " + earlier.classFile});
                break;
            }
        }
        if (clash.empty())
            view->classes.push_back(r);
    }
    return view;
}

std::mutex cacheMutex;
// Guarded by cacheMutex: the stamps of the last look, the files parsed then, and the view.
std::vector<FileStamp> lastFiles;
std::map<std::string, std::pair<FileStamp, ParsedClassFile>> parsedFiles;
std::shared_ptr<const DiskClasses> lastView;

std::mutex registrationMutex;
std::string chosenRegistrationDirectory; // guarded by registrationMutex

} // namespace

std::shared_ptr<const DiskClasses> currentDiskClasses() {
    std::vector<FileStamp> files;
    for (const std::string& directory : VantrelClassDirectories()) {
        std::vector<FileStamp> found = listDirectory(directory);
        files.insert(files.end(), std::make_move_iterator(found.begin()),
                     std::make_move_iterator(found.end()));
    }
    std::lock_guard lock(cacheMutex);
    if (lastView && files == lastFiles)
        return lastView;
    std::map<std::string, ParsedClassFile> parsed;
    std::map<std::string, std::pair<FileStamp, ParsedClassFile>> kept;
    for (const FileStamp& file : files) {
        auto cached = parsedFiles.find(file.path);
        if (cached == parsedFiles.end() || !(cached->second.first == file))
            kept[file.path] = {file, readClassFile(file.path)};
        else
            kept[file.path] = std::move(cached->second);
        parsed[file.path] = kept[file.path].second;
    }
    lastView = buildView(files, parsed);
    lastFiles = std::move(files);
    parsedFiles = std::move(kept);
    return lastView;
}

} // namespace vantrel::com

using namespace vantrel::com;

std::string VantrelUtf8(const std::u16string& text) {
    return utf16ToUtf8(text);
}

std::string VantrelUserClassDirectory() {
    std::string data = environment("XDG_DATA_HOME");
    if (data.empty() || data[0] != '/') {
        std::string home = environment("HOME");
        if (home.empty()) {
            if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
                home = user->pw_dir;
        }
        if (home.empty())
            return {};
        data = home + "/.local/share";
    }
    return data + "/vantrel/classes";
}

std::string VantrelInstalledClassDirectory() {
    // The installation is found from where this library lies: <prefix>/lib/libvantrel-com.so
    // and <prefix>/share/vantrel/classes. The build tree has the same shape.
    static const std::string directory = [] {
        Dl_info info{};
        if (!::dladdr(reinterpret_cast<void*>(&VantrelInstalledClassDirectory), &info) ||
            !info.dli_fname)
            return std::string();
        std::error_code error;
        std::filesystem::path library = std::filesystem::canonical(info.dli_fname, error);
        if (error)
            return std::string();
        return (library.parent_path().parent_path() / "share/vantrel/classes").string();
    }();
    return directory;
}

std::vector<std::string> VantrelClassDirectories() {
    std::vector<std::string> directories;
    for (std::string directory : {environment(VantrelClassDirectoryVariable),
                                  VantrelUserClassDirectory(), VantrelInstalledClassDirectory()}) {
        if (!directory.empty() &&
            std::find(directories.begin(), directories.end(), directory) == directories.end())
            directories.push_back(std::move(directory));
    }
    return directories;
}

std::vector<VantrelClassFileProblem> VantrelClassFileProblems() {
    return currentDiskClasses()->problems;
}

void VantrelSetRegistrationDirectory(const char* directory) {
    std::lock_guard lock(registrationMutex);
    chosenRegistrationDirectory = directory ? directory : "";
}

std::string VantrelRegistrationDirectory() {
    {
        std::lock_guard lock(registrationMutex);
        if (!chosenRegistrationDirectory.empty())
            return chosenRegistrationDirectory;
    }
    const std::string named = environment(VantrelClassDirectoryVariable);
    return named.empty() ? VantrelInstalledClassDirectory() : named;
}

namespace {

bool hasLineBreak(const std::u16string& text) {
    return text.find(u'\n') != std::u16string::npos || text.find(u'\r') != std::u16string::npos;
}

HRESULT failWriting(const std::string& what, const std::string& path) {
    postRuntimeError(what + " " + path + ": " + std::strerror(errno));
    return SELFREG_E_CLASS;
}

} // namespace

HRESULT VantrelWriteClassFile(const VantrelClassRegistration& registration) {
    const VantrelClassRegistration& r = registration;
    if (r.clsid == GUID_NULL || r.modulePath.empty() || !isValidProgId(r.progId) ||
        !isValidProgId(r.versionIndependentProgId) || hasLineBreak(r.description) ||
        hasLineBreak(r.parseName) || r.modulePath.find_first_of("\r\n") != std::string::npos)
        return E_INVALIDARG;
    std::string directory;
    std::string text;
    try {
        directory = VantrelRegistrationDirectory();
        if (directory.empty()) {
            postRuntimeError("There is no class registry directory to write to.");
            return SELFREG_E_CLASS;
        }
        std::error_code error;
        std::filesystem::create_directories(directory, error);
        if (error) {
            errno = error.value();
            return failWriting("Cannot create the class registry directory", directory);
        }
        text = formatClassFile(r, directory);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // Written beside the final name and renamed over it, so a reader never sees half a file.
    const std::string path = directory + "/" + classFileName(r.clsid);
    const std::string temporary =
        directory + "/.writing-" + std::to_string(::getpid()) + "-" + classFileName(r.clsid);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return failWriting("Cannot write the class file", path);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t put = ::write(fd, text.data() + written, text.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        written += std::size_t(put);
    }
    const int savedErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (written != text.size() || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int reason = written != text.size() ? savedErrno : errno;
        ::unlink(temporary.c_str());
        errno = reason;
        return failWriting("Cannot write the class file", path);
    }
    return S_OK;
}

HRESULT VantrelRemoveClassFile(REFCLSID clsid) {
    std::string path;
    try {
        const std::string directory = VantrelRegistrationDirectory();
        if (directory.empty())
            return S_FALSE;
        path = directory + "/" + classFileName(clsid);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (::unlink(path.c_str()) == 0)
        return S_OK;
    if (errno == ENOENT)
        return S_FALSE;
    return failWriting("Cannot remove the class file", path);
}
