#include "platform/portable_platform.h"

#include "host/failure.h"

namespace starwright {

double PortableNumberText::ParseDouble(const std::string&) { throw TypeMismatchFailure(); }
int32_t PortableNumberText::ParseInt32(const std::string&) { throw TypeMismatchFailure(); }

}  // namespace starwright
