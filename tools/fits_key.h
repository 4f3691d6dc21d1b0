#pragma once
// The header keyword tool ("Handy FITS Key"): moves document names between the two lists and
// writes one FITS keyword into every picked open document.

#include <cstdint>

namespace starwright {
class frmMain;
namespace fits_key {

void lstImagesBin_DblClick(frmMain& form);
void lstSelectedBin_DblClick(frmMain& form);
void cmdBinMove_Click(frmMain& form, int16_t index);
void cmdSet_Click(frmMain& form);

}  // namespace fits_key
}  // namespace starwright
