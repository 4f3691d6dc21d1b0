#pragma once
// The dated folder tool ("Handy Path"): creates home path + date + image name folders and
// points the camera's automatic saving at the image folder.

namespace starwright {
class frmMain;
namespace dated_folder {

void cmdCreate_Click(frmMain& form);

}  // namespace dated_folder
}  // namespace starwright
