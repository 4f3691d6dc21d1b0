#include "tools/folder_names.h"

#include <cstdint>
#include <string>

#include "base/failure.h"

namespace starwright::dated_folder {
namespace {

// The messages, and the number an automation runtime gives a bad file name.
constexpr int32_t kErrBadFileName = 52;
constexpr const char* kHomePathNotFull =
    "The home path must be a full path, such as C:\\MaximDL\\ or \\\\server\\share\\MaximDL\\.";
constexpr const char* kDotFolder = "The image name cannot contain a folder named . or ..";
constexpr const char* kBadCharacter = "The image name cannot contain any of these characters: : * ? \" < > |";
constexpr const char* kBadEnd = "A folder in the image name cannot end with a dot or a blank.";
constexpr const char* kDeviceName = "The image name cannot use a device name such as CON, NUL, COM1 or LPT1.";

[[noreturn]] void Refuse(const char* message) { throw Failure(kErrBadFileName, message); }

bool IsSeparator(char ch) { return ch == '\\' || ch == '/'; }

bool IsAsciiLetter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }

char Upper(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch; }

// The next name of a "\"-separated text, taken off its front.
std::string_view TakeName(std::string_view& text) {
    size_t end = 0;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    const std::string_view name = text.substr(0, end);
    text.remove_prefix(end < text.size() ? end + 1 : end);
    return name;
}

// "\\server\share" and below. "\\?\" and "\\.\" are not servers: they reach the system's
// device and raw path spaces, past the checks that make a typed path mean one folder.
bool IsNetworkPath(std::string_view path) {
    if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return false;
    path.remove_prefix(2);
    const std::string_view server = TakeName(path);
    const std::string_view share = TakeName(path);
    return !server.empty() && server != "." && server != "?" && !share.empty();
}

bool IsDrivePath(std::string_view path) {
    return path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && IsSeparator(path[2]);
}

bool IsAllowedInName(unsigned char ch) {
    if (ch < 32) return false;
    switch (ch) {
    case ':': case '*': case '?': case '"': case '<': case '>': case '|': return false;
    default: return true;
    }
}

// Windows opens a device for these names, with or without an extension ("NUL.fits") and with
// blanks before the extension ("CON .txt"), in any case.
bool IsDeviceName(std::string_view name) {
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::string upper;
    for (char ch : name) upper += Upper(ch);
    static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view device : kDevices)
        if (upper == device) return true;
    if (upper.size() < 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0)) return false;
    // COM0 to COM9, and COM with a superscript 1, 2 or 3 (likewise LPT).
    const std::string_view number = std::string_view(upper).substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

void CheckHomePath(std::string_view home) {
    if (!IsDrivePath(home) && !IsNetworkPath(home)) Refuse(kHomePathNotFull);
}

void CheckImageName(std::string_view name) {
    while (!name.empty()) {
        // Empty names (a leading, doubled or final "\") add no level.
        const std::string_view folder = TakeName(name);
        if (folder.empty()) continue;
        if (folder == "." || folder == "..") Refuse(kDotFolder);
        for (char ch : folder)
            if (!IsAllowedInName(static_cast<unsigned char>(ch))) Refuse(kBadCharacter);
        // Windows drops them, so the folder made would not be the one the camera is told.
        if (folder.back() == '.' || folder.back() == ' ') Refuse(kBadEnd);
        if (IsDeviceName(folder)) Refuse(kDeviceName);
    }
}

}  // namespace starwright::dated_folder
