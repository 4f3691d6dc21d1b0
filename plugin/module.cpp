#include "plugin/module.h"

#include <atomic>
#include <stdexcept>

namespace starwright::plugin {

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_locks{0};
bool g_processTerminating = false;

}  // namespace

void SetModuleHandle(HMODULE module) { g_module = module; }

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) throw std::runtime_error("GetModuleFileName failed");
        // A full buffer means the path may have been cut short.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void LockModule() { ++g_locks; }

void UnlockModule() { --g_locks; }

bool ModuleInUse() { return g_locks.load() != 0; }

void SetProcessTerminating() { g_processTerminating = true; }

bool ProcessTerminating() { return g_processTerminating; }

}  // namespace starwright::plugin
