#include <cctype>
#include <cerrno>
#include <fstream>
#include <system_error>
#include <vector>

#include "base/failure.h"
#include "platform/portable_platform.h"

namespace starwright {
namespace {

namespace fs = std::filesystem;

// Windows' own error codes and English descriptions, numbered as an automation host reports a
// system error (HRESULT_FROM_WIN32), so the tools see the same failures on either system.
constexpr int32_t FromWin32(uint32_t code) { return static_cast<int32_t>(0x80070000u | code); }

Failure PathNotFound() { return Failure(FromWin32(3), "The system cannot find the path specified."); }
Failure AccessDenied() { return Failure(FromWin32(5), "Access is denied."); }
Failure InvalidName() {
    return Failure(FromWin32(123), "The filename, directory name, or volume label syntax is incorrect.");
}
Failure AlreadyExists() { return Failure(kNameTaken, "Cannot create a file when that file already exists."); }
Failure NameTooLong() { return Failure(FromWin32(206), "The filename or extension is too long."); }

Failure SystemFailure(const std::error_code& error) {
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) return PathNotFound();
    if (error == std::errc::file_exists) return AlreadyExists();
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
        error == std::errc::read_only_file_system)
        return AccessDenied();
    if (error == std::errc::filename_too_long) return NameTooLong();
    return Failure(FromWin32(31), error.message());  // ERROR_GEN_FAILURE
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAllowedInName(unsigned char c) {
    if (c < 32) return false;
    switch (c) {
    case '<': case '>': case ':': case '"': case '|': case '?': case '*': return false;
    default: return true;
    }
}

struct MappedPath {
    fs::path path;
    bool namesDirectory = false;  // the text ended in a separator
    bool isDriveRoot = false;     // "C:" or "C:\" itself
};

MappedPath MapText(const fs::path& root, const std::string& text) {
    MappedPath mapped;
    mapped.namesDirectory = !text.empty() && IsSeparator(text.back());
    std::string drive;
    size_t start = 0;
    if (text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':') {
        drive = {static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))), ':'};
        start = 2;
    }
    std::vector<std::string> names;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && !IsSeparator(text[end])) ++end;
        std::string name = text.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!names.empty()) names.pop_back();
            continue;
        }
        while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
        if (name.empty()) continue;
        for (unsigned char c : name)
            if (!IsAllowedInName(c)) throw InvalidName();
        names.push_back(std::move(name));
    }
    mapped.path = root;
    if (!drive.empty()) mapped.path /= drive;
    for (const auto& name : names) mapped.path /= name;
    mapped.isDriveRoot = !drive.empty() && names.empty();
    return mapped;
}

}  // namespace

fs::path PortableFileSystem::Map(const std::string& path) const { return MapText(root_, path).path; }

bool PortableFileSystem::Exists(const std::string& path) {
    if (path.empty()) return false;
    const MappedPath mapped = MapText(root_, path);
    std::error_code error;
    const fs::file_status status = fs::status(mapped.path, error);
    if (error && error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory)
        throw SystemFailure(error);
    if (!fs::exists(status)) return false;
    return !mapped.namesDirectory || fs::is_directory(status);
}

void PortableFileSystem::MakeDirectory(const std::string& path) {
    if (path.empty()) throw PathNotFound();
    const MappedPath mapped = MapText(root_, path);
    std::error_code error;
    if (fs::exists(fs::symlink_status(mapped.path, error))) throw AlreadyExists();
    // The drive itself cannot be made; a drive that is not there is a path not found.
    if (mapped.isDriveRoot) throw PathNotFound();
    if (!fs::is_directory(fs::status(mapped.path.parent_path(), error))) throw PathNotFound();
    // create_directory reports an existing directory as success; Windows does not.
    if (!fs::create_directory(mapped.path, error)) throw error ? SystemFailure(error) : AlreadyExists();
}

void PortableFileSystem::CheckCanCreateFiles(const std::string& directory) {
    const fs::path folder = MapText(root_, directory).path;
    std::error_code error;
    if (!fs::is_directory(fs::status(folder, error))) throw PathNotFound();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path file = folder / ("~sw" + std::to_string(10000 + attempt) + ".tmp");
        if (fs::exists(fs::symlink_status(file, error))) continue;
        if (!std::ofstream(file)) throw SystemFailure(std::error_code(errno, std::generic_category()));
        fs::remove(file, error);
        return;
    }
    throw AlreadyExists();
}

}  // namespace starwright
