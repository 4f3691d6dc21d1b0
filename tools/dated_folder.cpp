#include "tools/dated_folder.h"

#include "window/frm_main.h"

namespace starwright::dated_folder {

void cmdCreate_Click(frmMain&) {}

}  // namespace starwright::dated_folder
