#pragma once

namespace velk {

// The program's title: the loading window's caption, the About box's and every message box's
// title. Window titles carry their own captions only, so no application display name is set.
inline constexpr const char* kProgramTitle = "VELK47120 Evaluation Software";

}  // namespace velk
