#include "platform/windows_platform.h"

#include <windows.h>

#include "host/failure.h"

namespace starwright {

double WindowsNumberText::ParseDouble(const std::string&) { throw TypeMismatchFailure(); }
int32_t WindowsNumberText::ParseInt32(const std::string&) { throw TypeMismatchFailure(); }

}  // namespace starwright
