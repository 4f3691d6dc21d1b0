#pragma once
// A registry tree as it stood before a change, so that a change that fails part-way can be
// undone, and only that change: what was there before is put back, never removed.

#include <windows.h>

#include <string>
#include <vector>

namespace starwright::plugin {

// An open registry key, closed when it goes.
class UniqueKey {
public:
    UniqueKey() = default;
    ~UniqueKey() { Reset(); }
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;

    HKEY Get() const { return key_; }
    HKEY* Put() {
        Reset();
        return &key_;
    }

private:
    void Reset() {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

    HKEY key_ = nullptr;
};

class RegistryTree {
public:
    // Reads root\path and everything below it. A key that cannot be read is remembered as
    // such and left alone by Restore.
    RegistryTree(HKEY root, std::wstring path);

    // Puts the tree back as it was read: a key that did not exist is removed with everything
    // below it; in a key that existed, the keys and values added since are removed and the
    // values it had are written back. Returns the first failure, having tried everything.
    HRESULT Restore() const;

    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct Key {
        std::wstring name;
        bool readable = true;
        std::vector<Value> values;
        std::vector<Key> subkeys;
    };

private:
    HKEY root_;
    std::wstring path_;
    bool existed_ = false;
    Key key_;
};

}  // namespace starwright::plugin
