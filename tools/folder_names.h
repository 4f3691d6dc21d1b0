#pragma once
// What the dated folder tool accepts as a home path and an image name. The folders it makes
// must stay where the user meant: below a home path that names a place on its own (a drive or
// a network share, not a folder relative to whatever the host's current folder is), and with
// the image name only adding folders below the date folder, each of a name Windows can make.

#include <string_view>

namespace starwright::dated_folder {

// Both throw Failure with a short message for the user.
// A drive path ("C:\MaximDL\", "C:\MaximDL") or a network path ("\\server\share\...").
void CheckHomePath(std::string_view home);
// Empty, or folder names separated by "\", each one Windows can make and none "." or "..".
void CheckImageName(std::string_view name);

}  // namespace starwright::dated_folder
