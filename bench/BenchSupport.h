#pragma once
// What the communicator benchmarks share: the OLE DB environment, a communicator connected to a
// SQLite file through the real provider, a memo that keeps its lines, and the statistics.

#include "core/CommunicatorOwner.h"
#include "core/Memo.h"
#include "oledb/OLEDBCommunicator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <time.h>
#include <vector>

namespace bench {

class TLinesMemo : public TMemo {
public:
    void addLine(const std::string& line) override { lines.push_back(line); }
    void clear() override { lines.clear(); }
    std::vector<std::string> lines;
};

class TNoWindow : public TCommunicatorOwner {
public:
    void* nativeWindowHandle() override { return nullptr; }
};

// Enters the OLE DB environment for the benchmark's lifetime; boxes go to standard error.
class TOleDbSession {
public:
    TOleDbSession() { setUpOleDbEnvironment(); }
    ~TOleDbSession() { tearDownOleDbEnvironment(); }
    TOleDbSession(const TOleDbSession&) = delete;
    TOleDbSession& operator=(const TOleDbSession&) = delete;
};

inline std::string connectionStringFor(const std::filesystem::path& database) {
    return "Provider=Vantrel.SQLite.1;Data Source=" + database.string();
}

// A communicator connected to `database`; exits the benchmark when it cannot connect.
inline std::unique_ptr<TOLEDBCommunicator> connectTo(TNoWindow& window, TLinesMemo& log,
                                                     const std::filesystem::path& database) {
    auto communicator =
        std::make_unique<TOLEDBCommunicator>(&window, &log, connectionStringFor(database), 0);
    if (!communicator->connect()) {
        std::fprintf(stderr, "cannot connect to %s\n", database.string().c_str());
        std::exit(1);
    }
    return communicator;
}

inline void removeDatabase(const std::filesystem::path& database) {
    std::error_code ignored;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        std::filesystem::remove(database.string() + suffix, ignored);
}

using TClock = std::chrono::steady_clock;

inline double millisecondsSince(TClock::time_point start) {
    return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

// CPU time of the calling thread: unlike the clock on the wall, it leaves out time spent
// waiting for a core, which on a shared machine can swamp what is measured.
inline double threadCpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

inline double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The process's peak resident memory in MB (VmHWM), or -1 when it cannot be read.
inline double peakMemoryMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return -1;
}

} // namespace bench
