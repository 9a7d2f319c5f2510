#pragma once

namespace velk {

// Where the read loop stands; the loop panel's caption, button, the chart menu and the datalog
// box follow it. Stopping: Stop was asked for while a run is still inside its cycle. It shows
// as stopped, and a Start then lets that same run go on.
enum class LoopState { Stopped, Running, Stopping };

}  // namespace velk
