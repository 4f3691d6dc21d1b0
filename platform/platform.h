#pragma once
// The services of the operating system that the tools use besides the window: the local
// clock, the file system, and locale-aware number text. Each has a Windows implementation
// (platform/*_win.cpp) and a portable one that native tests and the simulated host use.

#include <cstdint>
#include <string>

namespace starwright {

// A local wall-clock moment, as the user's clock shows it.
struct LocalDateTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime Now() = 0;
};

// The failure number of a name that is taken, as Windows reports it (ERROR_ALREADY_EXISTS as
// an HRESULT).
inline constexpr int32_t kNameTaken = static_cast<int32_t>(0x800700B7u);

// Paths are "\"-separated texts, as the user typed them; an implementation maps them onto its
// file system. Failures throw Failure with the system's description.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // A file or directory of that name exists; a path ending in "\" exists when its directory does.
    virtual bool Exists(const std::string& path) = 0;
    // Creates exactly one level; fails when the parent is missing or the name is not allowed,
    // and with kNameTaken when something of that name exists.
    virtual void MakeDirectory(const std::string& path) = 0;
    // Fails unless a new file can be made in the directory: makes an empty file of a name no
    // one uses, of at most 12 characters, and removes it again.
    virtual void CheckCanCreateFiles(const std::string& directory) = 0;
    // Whether paths in this process may be longer than the classic limit of 260 UTF-16 units,
    // the final NUL included. On Windows that takes a system that allows long paths and a
    // process whose manifest says it can use them; the host's manifest is not ours, so a file
    // system that cannot tell keeps the classic limit.
    virtual bool LongPathsEnabled() { return false; }
};

// The largest magnitude "#0.0" is written for. The pattern writes every integer digit, and
// oleaut32 as Wine has it overruns a 256-character buffer with them from about 1e255 on
// (and ends the process near 1e300); 1e200 keeps a wide margin and is far beyond any reading.
inline constexpr double kLargestFixed1 = 1e200;

// Number text in the user's regional settings (decimal and thousands separators).
class NumberText {
public:
    virtual ~NumberText() = default;
    // Pattern "#0.0": a minus sign for negatives, at least one integer digit, one decimal.
    // Beyond kLargestFixed1 either way, and for NaN and infinities, an overflow failure.
    virtual std::string FormatFixed1(double value) = 0;
    // The general number form: up to 15 significant digits, no trailing zeros. NaN and
    // infinities are an overflow failure.
    virtual std::string FormatGeneral(double value) = 0;
    // Locale-aware text-to-number conversions; blanks around the number are ignored.
    // Failures: type mismatch for text that is not a number, overflow outside the range.
    virtual double ParseDouble(const std::string& text) = 0;
    // Rounds a fraction half to even.
    virtual int32_t ParseInt32(const std::string& text) = 0;
};

struct Platform {
    Clock& clock;
    FileSystem& fileSystem;
    NumberText& numberText;
};

}  // namespace starwright
