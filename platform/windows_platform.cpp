#include "platform/windows_platform.h"

#include <windows.h>

#include "base/failure.h"

namespace starwright {

const Platform& WindowsPlatform() {
    static WindowsClock clock;
    static WindowsFileSystem fileSystem;
    static WindowsNumberText numberText;
    static const Platform platform{clock, fileSystem, numberText};
    return platform;
}

}  // namespace starwright
