#pragma once
// A registry tree as it stood before a change, so that a change that fails part-way can be
// undone, and only that change: what was there before is put back, never removed.
//
// A tree lives in one registry view. 64-bit Windows keeps two copies of some keys (under
// Classes: CLSID and Interface), one for 32-bit and one for 64-bit programs; view is
// KEY_WOW64_32KEY or KEY_WOW64_64KEY for one of them, 0 for the caller's own. Once a key is
// opened in a view, every key below it is opened, created and deleted naming the same view, as
// Windows asks of programs that reach into the other view.

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

// Deletes root\path, in the given view, with everything below it. ERROR_FILE_NOT_FOUND when
// there is no such key.
LSTATUS DeleteRegistryTree(HKEY root, const std::wstring& path, REGSAM view);

class RegistryTree {
public:
    // Reads root\path and everything below it, in the given view. A key that cannot be read is
    // remembered as such and left alone by Restore.
    RegistryTree(HKEY root, std::wstring path, REGSAM view = 0);

    // Puts the tree back as it was read: a key that did not exist is removed with everything
    // below it; in a key that existed, the keys and values added since are removed and the
    // values it had are written back. Returns the first failure, having tried everything.
    HRESULT Restore() const;

    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
        bool operator==(const Value&) const = default;
    };
    struct Key {
        std::wstring name;
        bool readable = true;
        std::vector<Value> values;
        std::vector<Key> subkeys;
        bool operator==(const Key&) const = default;
    };

    // Both read the same keys and found the same in them (a test's "as it was before").
    bool operator==(const RegistryTree&) const = default;

private:
    HKEY root_;
    std::wstring path_;
    REGSAM view_;
    bool existed_ = false;
    Key key_;
};

}  // namespace starwright::plugin
