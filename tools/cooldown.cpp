#include "tools/cooldown.h"

#include "window/frm_main.h"

namespace starwright::cooldown {

void cmdStart_Click(frmMain&) {}
void Timer1_Timer(frmMain&) {}
void cmdQuit_Click(frmMain&) {}

}  // namespace starwright::cooldown
