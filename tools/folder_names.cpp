#include "tools/folder_names.h"

#include <cstdint>
#include <string>

#include "base/failure.h"

namespace starwright::dated_folder {
namespace {

// The number an automation runtime gives a bad file name, and the messages.
constexpr int32_t kErrBadFileName = 52;
constexpr const char* kHomePathNotFull =
    "The home path must be a full path, such as C:\\MaximDL\\ or \\\\server\\share\\MaximDL\\.";
constexpr const char* kImageSeparator =
    "The image name cannot contain \\ or /: it names one folder and begins each image's file name.";

// What is wrong with one folder name, told of the home path's folders or of the image name.
struct NameMessages {
    const char* dotFolder;
    const char* badCharacter;
    const char* badEnd;
    const char* deviceName;
};
constexpr NameMessages kHomeFolder{
    "The home path cannot contain a folder named . or ..",
    "A folder in the home path cannot contain any of these characters: : * ? \" < > |",
    "A folder in the home path cannot end with a dot or a blank.",
    "The home path cannot use a device name such as CON, NUL, COM1 or LPT1.",
};
constexpr NameMessages kImageFolder{
    "The image name cannot be . or ..",
    "The image name cannot contain any of these characters: : * ? \" < > |",
    "The image name cannot end with a dot or a blank.",
    "The image name cannot use a device name such as CON, NUL, COM1 or LPT1.",
};

// Windows' classic path limit, MAX_PATH, counts UTF-16 units and includes the final NUL. The
// host names each image it saves after the auto-save name with a sequence number and an
// extension added, some ten characters ("_0001.fits"); twelve leave room for a longer number.
// The folders are shorter than the auto-save name, so they also stay within the 248 units that
// creating a directory allows. A network share has the same limit: it is reached through the
// same file APIs.
constexpr size_t kClassicPathLimit = 260;
constexpr size_t kHostSuffix = 12;
constexpr size_t kLongestAutoSaveName = kClassicPathLimit - 1 - kHostSuffix;

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

// The length of "\\server\share\" at the front of a path, or 0 when it is not one. "\\?\" and
// "\\.\" are not servers: they reach the system's device and raw path spaces, past the
// checks that make a typed path mean one folder.
size_t NetworkRootLength(std::string_view path) {
    if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return 0;
    std::string_view rest = path.substr(2);
    const std::string_view server = TakeName(rest);
    const std::string_view share = TakeName(rest);
    if (server.empty() || server == "." || server == "?" || share.empty()) return 0;
    return path.size() - rest.size();
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

// One folder name, refused with the messages given when Windows would not make it as typed.
void CheckFolderName(std::string_view folder, const NameMessages& messages) {
    if (folder == "." || folder == "..") Refuse(messages.dotFolder);
    for (char ch : folder)
        if (!IsAllowedInName(static_cast<unsigned char>(ch))) Refuse(messages.badCharacter);
    // Windows drops them, so the folder made would not be the one tested on a later night or
    // the one the camera is told.
    if (folder.back() == '.' || folder.back() == ' ') Refuse(messages.badEnd);
    if (IsDeviceName(folder)) Refuse(messages.deviceName);
}

// UTF-16 units, as Windows counts a path: one per character, two beyond U+FFFF (a four-byte
// UTF-8 sequence).
size_t Utf16Length(std::string_view utf8) {
    size_t units = 0;
    for (unsigned char ch : utf8) {
        if ((ch & 0xC0) != 0x80) ++units;
        if (ch >= 0xF0) ++units;
    }
    return units;
}

std::string Characters(size_t count) { return std::to_string(count) + (count == 1 ? " character" : " characters"); }

}  // namespace

void CheckHomePath(std::string_view home) {
    size_t root = NetworkRootLength(home);
    if (root == 0 && IsDrivePath(home)) root = 3;
    if (root == 0) Refuse(kHomePathNotFull);
    home.remove_prefix(root);
    while (!home.empty()) {
        // Repeated separators count as one, and the final one ends the path.
        const std::string_view folder = TakeName(home);
        if (!folder.empty()) CheckFolderName(folder, kHomeFolder);
    }
}

void CheckImageName(std::string_view name) {
    if (name.find_first_of("\\/") != std::string_view::npos) Refuse(kImageSeparator);
    if (!name.empty()) CheckFolderName(name, kImageFolder);
}

void CheckAutoSaveName(std::string_view autoSaveName, bool longPathsEnabled) {
    const size_t length = Utf16Length(autoSaveName);
    if (longPathsEnabled || length <= kLongestAutoSaveName) return;
    const size_t over = length - kLongestAutoSaveName;
    const std::string message = "The images' file names would be " + Characters(over) +
                                " too long for Windows: shorten the home path by " + Characters(over) +
                                " or the image name by " + std::to_string((over + 1) / 2) + " (it is used twice).";
    throw Failure(kErrBadFileName, message);
}

}  // namespace starwright::dated_folder
