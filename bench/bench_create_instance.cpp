// What creating a registered provider costs: CLSIDFromProgID and CoCreateInstance of a class
// found through the class registry on disk, the first call (which reads the registry and loads the
// module) and the later ones (which only check that the registry has not changed).
//
//   bench_create_instance [PROGID] [CALLS]
//
// Prints the first call, the median and the worst of the later calls, and one line
// `ratio: X (target at most 1.00)` with the later calls' median against one millisecond.
#include <oledb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

double microsecondsSince(TClock::time_point start) {
    return std::chrono::duration<double, std::micro>(TClock::now() - start).count();
}

// One lookup and creation as a consumer writes it; the object is released at once.
HRESULT createOnce(const std::u16string& progId) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(progId.c_str()), &clsid);
    if (FAILED(hr))
        return hr;
    IDBInitialize* initialize = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize,
                          reinterpret_cast<void**>(&initialize));
    if (SUCCEEDED(hr))
        initialize->Release();
    return hr;
}

std::u16string widen(const char* text) {
    std::u16string wide;
    for (const char* p = text; *p != '\0'; ++p)
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    return wide;
}

} // namespace

int main(int argc, char** argv) {
    const char* progId = argc > 1 ? argv[1] : "Vantrel.SQLite.1";
    const int calls = argc > 2 ? std::atoi(argv[2]) : 10000;
    if (calls < 1) {
        std::fprintf(stderr, "bench_create_instance: CALLS must be a positive number\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "bench_create_instance: cannot enter a COM apartment\n");
        return 1;
    }
    const std::u16string wideProgId = widen(progId);

    const auto firstStart = TClock::now();
    HRESULT hr = createOnce(wideProgId);
    const double first = microsecondsSince(firstStart);
    if (FAILED(hr)) {
        std::fprintf(stderr, "bench_create_instance: %s cannot be created (0x%08X)\n", progId,
                     static_cast<unsigned>(hr));
        CoUninitialize();
        return 1;
    }

    std::vector<double> later;
    later.reserve(static_cast<std::size_t>(calls));
    for (int i = 0; i < calls && SUCCEEDED(hr); ++i) {
        const auto start = TClock::now();
        hr = createOnce(wideProgId);
        later.push_back(microsecondsSince(start));
    }
    CoUninitialize();
    if (FAILED(hr)) {
        std::fprintf(stderr, "bench_create_instance: a later creation failed (0x%08X)\n",
                     static_cast<unsigned>(hr));
        return 1;
    }

    std::sort(later.begin(), later.end());
    const double median = later[later.size() / 2];
    std::printf("%s: first call %.1f us (reads the registry, loads the module)\n", progId, first);
    std::printf("%s: later calls median %.1f us, 99th percentile %.1f us, worst %.1f us over %d\n",
                progId, median, later[later.size() * 99 / 100], later.back(), calls);
    std::printf("ratio: %.3f (target at most 1.00)\n", median / 1000.0);
    return 0;
}
