#include "platform/windows_platform.h"

#include <windows.h>

#include "host/failure.h"

namespace starwright {

LocalDateTime WindowsClock::Now() { return {}; }
bool WindowsFileSystem::Exists(const std::string&) { return false; }
void WindowsFileSystem::MakeDirectory(const std::string&) {}

}  // namespace starwright
