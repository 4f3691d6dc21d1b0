// How long the document-bound work takes against the simulated host: listing the open images
// and writing a keyword into every picked one. The update scans the host's list from the start
// for every picked entry (nothing is cached, by design: the host's list may change between
// entries), so its cost grows with entries x documents. The goals keep listing thousands of
// images and updating a few hundred well under a second of the plug-in's own time.
//
// Run with `make bench` (a build without sanitizers). Prints one line per measurement and
// whether it met its goal; exits 1 when a goal is missed.

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "tests/window_fixture.h"

namespace starwright {
namespace {

struct Bench : WindowFixture {
    explicit Bench(int documents) {
        for (int i = 1; i <= documents; ++i) host.AddDocument("Light_" + std::to_string(i) + ".fit");
        form.Load();
    }
};

double Milliseconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool Report(const char* what, double ms, double goalMs) {
    const bool met = ms <= goalMs;
    std::printf("%-58s %9.1f ms  (goal %6.0f ms) %s\n", what, ms, goalMs, met ? "ok" : "MISSED");
    return met;
}

}  // namespace
}  // namespace starwright

int main() {
    using namespace starwright;
    bool met = true;
    {
        Bench bench(5000);
        const double ms = Milliseconds([&] { bench.Window().Click("optOptions", 2); });
        met &= Report("list 5000 open images", ms, 200);
    }
    {
        Bench bench(300);
        bench.Window().Click("optOptions", 2);
        bench.Window().Click("cmdBinMove", 0);
        bench.Window().Type("txtKey", "SET-TEMP");
        bench.Window().Type("txtKeyValue", "-20.5");
        bench.host.calls.clear();
        const double ms = Milliseconds([&] { bench.Window().Click("cmdSet"); });
        met &= Report("write a keyword into 300 picked of 300 open images", ms, 1000);
    }
    return met ? 0 : 1;
}
