#include "platform/portable_platform.h"

#include "host/failure.h"

namespace starwright {

std::string PortableNumberText::FormatFixed1(double) { return "0.0"; }
std::string PortableNumberText::FormatGeneral(double) { return "0"; }

}  // namespace starwright
