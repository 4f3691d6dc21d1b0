#include "platform/portable_platform.h"

#include "host/failure.h"

namespace starwright {

std::filesystem::path PortableFileSystem::Map(const std::string& path) const { return root_ / path; }
bool PortableFileSystem::Exists(const std::string&) { return false; }
void PortableFileSystem::MakeDirectory(const std::string&) {}

}  // namespace starwright
