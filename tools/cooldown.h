#pragma once
// The cool-down procedure ("Handy Start"): links the camera, cools to -50, then after ten
// minutes sets 0.89 times the temperature reached and after two more minutes closes the window.

namespace starwright {
class frmMain;
namespace cooldown {

void cmdStart_Click(frmMain& form);
void Timer1_Timer(frmMain& form);
void cmdQuit_Click(frmMain& form);

}  // namespace cooldown
}  // namespace starwright
