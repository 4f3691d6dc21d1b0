#pragma once
// What a host may know of the plug-in's tool window besides what the window itself shows
// (its caption "Starwright", its controls' classes and captions): the id of the timer that
// drives the cool-down. A host or test harness that fast-forwards a run sends the ticks itself.

namespace starwright::plugin {

// The cool-down counts down one second per WM_TIMER message with this id sent to the tool
// window (wParam), while a run is on.
inline constexpr unsigned kCoolDownTimerId = 1;

}  // namespace starwright::plugin
