#pragma once
// What the dated folder tool accepts as a home path and an image name. The folders it makes
// must stay where the user meant: below a home path that names a place on its own (a drive or
// a network share, not a folder relative to whatever the host's current folder is), each
// folder of a name Windows makes as typed, and the image name a single such folder, since it
// also begins the name of every image the camera saves there. And the camera must be able to
// save there at all: the host's file names must fit the path limit its process lives with.

#include <string_view>

namespace starwright::dated_folder {

// All throw Failure with a short message for the user.
// A drive path ("C:\MaximDL\", "C:\MaximDL") or a network path ("\\server\share\..."), each
// folder below the drive or share a name Windows makes as typed.
void CheckHomePath(std::string_view home);
// Empty, or one folder name Windows makes as typed, without "\" or "/".
void CheckImageName(std::string_view name);
// The auto-save name (image folder and image name) with what the host appends to it fits the
// classic path limit, unless the process takes long paths.
void CheckAutoSaveName(std::string_view autoSaveName, bool longPathsEnabled);

}  // namespace starwright::dated_folder
