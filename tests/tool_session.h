#pragma once
// One showing of frmMain over the simulated host, on watched headless windows, as the tests
// of handlers meeting an unusual host use it: a camera clock that moves a second per tick,
// two open documents, and a file system where every folder is there already.

#include <string>

#include "tests/watched_window.h"
#include "tests/window_fixture.h"

namespace starwright {

class EverythingExists final : public FileSystem {
public:
    bool Exists(const std::string&) override { return true; }
    void MakeDirectory(const std::string&) override {}
    void CheckCanCreateFiles(const std::string&) override {}
};

class ToolSession {
public:
    explicit ToolSession(char decimalSeparator = '.')
        : fixture_({.hostClock = &clock, .decimalSeparator = decimalSeparator, .fileSystem = &files_, .toolkit = &toolkit}) {
        for (const char* name : {"A.fit", "B.fit"}) host.AddDocument(name);
        form.Load();
    }
    HeadlessWindow& Ui() { return *toolkit.headless.last; }
    void Ticks(int count) {
        for (int i = 0; i < count && form.IsLoaded(); ++i) {
            clock.Advance(1);
            Ui().Tick();
        }
    }
    void Start() {
        Ui().Click("optOptions", 1);
        Ui().Click("cmdStart");
    }

    sim::ManualClock clock;
    WatchedToolkit toolkit;

private:
    EverythingExists files_;
    WindowFixture fixture_;

public:
    sim::SimHost& host = fixture_.host;
    frmMain& form = fixture_.form;
};

}  // namespace starwright
