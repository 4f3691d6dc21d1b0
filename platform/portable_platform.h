#pragma once
// Portable implementations of the platform services, for native tests and anywhere the
// Windows ones are not available.

#include <filesystem>
#include <string>

#include "platform/number_grouping.h"
#include "platform/platform.h"

namespace starwright {

// A clock that shows whatever moment it was last set to.
class FixedClock final : public Clock {
public:
    explicit FixedClock(LocalDateTime now = {}) : now_(now) {}
    LocalDateTime Now() override { return now_; }
    void Set(LocalDateTime now) { now_ = now; }

private:
    LocalDateTime now_;
};

// The "\"-separated path texts mapped onto a directory of the host file system, behaving as
// the Windows file APIs do for the cases the tools meet. A leading drive ("C:") is a directory
// of that name under the root, each "\" (or "/") a directory level: "C:\MaximDL\20261207" is
// <root>/C:/MaximDL/20261207. A drive is present when its directory is; the owner makes it.
// As on Windows, repeated separators count as one, "." and ".." are resolved in the text (never
// above the drive), trailing dots and spaces of a name are dropped, and a path without a drive
// is taken from the root. Names with characters Windows does not allow (<>:"|?* and control
// characters) fail with Windows' own description, as do a missing parent and a name that is
// taken. Names are compared case-sensitively, unlike on Windows. It stands for a process with
// the classic path limit unless told that it takes long paths; the limit itself is not enforced.
class PortableFileSystem final : public FileSystem {
public:
    explicit PortableFileSystem(std::filesystem::path root) : root_(std::move(root)) {}
    bool Exists(const std::string& path) override;
    void MakeDirectory(const std::string& path) override;
    void CheckCanCreateFiles(const std::string& directory) override;
    bool LongPathsEnabled() override { return longPaths_; }
    void EnableLongPaths(bool enabled) { longPaths_ = enabled; }
    // Where a path text lies under the root; throws Failure for a name that is not allowed.
    std::filesystem::path Map(const std::string& path) const;

private:
    std::filesystem::path root_;
    bool longPaths_ = false;
};

// Number text in a chosen locale: by default "." and "," for English; "," and "." give German.
class PortableNumberText final : public NumberText {
public:
    explicit PortableNumberText(char decimalSeparator = '.', char thousandsSeparator = ',')
        : PortableNumberText(NumberSeparators{{decimalSeparator}, {thousandsSeparator}, {decimalSeparator},
                                              {thousandsSeparator}}) {}
    explicit PortableNumberText(NumberSeparators locale);
    std::string FormatFixed1(double value) override;
    std::string FormatGeneral(double value) override;
    // The system's conversions of the text the locale's separators make plain.
    double ParseDouble(const std::string& text) override;
    int32_t ParseInt32(const std::string& text) override;
    // The system's own conversions (VarR8FromStr, VarI4FromStr), which skip a thousands
    // separator wherever it stands: what an automation client's VariantChangeType makes of a
    // String answer. They know the number's separators, and one byte of each.
    double SystemParseDouble(const std::string& text) const;
    int32_t SystemParseInt32(const std::string& text) const;

private:
    NumberSeparators locale_;
    char decimal_;
    char thousands_;
};

}  // namespace starwright
