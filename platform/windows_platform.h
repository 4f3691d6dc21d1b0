#pragma once
// The platform services on Windows: the local clock, the Unicode file APIs, and oleaut32's own
// number conversions in the user's locale.

#include "platform/platform.h"

namespace starwright {

class WindowsClock final : public Clock {
public:
    LocalDateTime Now() override;
};

class WindowsFileSystem final : public FileSystem {
public:
    bool Exists(const std::string& path) override;
    void MakeDirectory(const std::string& path) override;
    void CheckCanCreateFiles(const std::string& directory) override;
    bool LongPathsEnabled() override;
};

class WindowsNumberText final : public NumberText {
public:
    std::string FormatFixed1(double value) override;
    std::string FormatGeneral(double value) override;
    double ParseDouble(const std::string& text) override;
    int32_t ParseInt32(const std::string& text) override;
};

// The process's one set of Windows services.
const Platform& WindowsPlatform();

}  // namespace starwright
