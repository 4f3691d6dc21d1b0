#include "tools/fits_key.h"

#include "window/frm_main.h"

namespace starwright::fits_key {

void lstImagesBin_DblClick(frmMain&) {}
void lstSelectedBin_DblClick(frmMain&) {}
void cmdBinMove_Click(frmMain&, int16_t) {}
void cmdSet_Click(frmMain&) {}

}  // namespace starwright::fits_key
