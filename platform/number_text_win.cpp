#include "platform/windows_platform.h"

#include <windows.h>

#include "host/failure.h"

namespace starwright {

std::string WindowsNumberText::FormatFixed1(double) { return "0.0"; }
std::string WindowsNumberText::FormatGeneral(double) { return "0"; }
double WindowsNumberText::ParseDouble(const std::string&) { throw TypeMismatchFailure(); }
int32_t WindowsNumberText::ParseInt32(const std::string&) { throw TypeMismatchFailure(); }

}  // namespace starwright
