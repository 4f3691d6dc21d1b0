#include "platform/windows_platform.h"

#include <windows.h>

#include "host/failure.h"

namespace starwright {

std::string WindowsNumberText::FormatFixed1(double) { return "0.0"; }
std::string WindowsNumberText::FormatGeneral(double) { return "0"; }

}  // namespace starwright
