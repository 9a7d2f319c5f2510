#pragma once

namespace velk {

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so no file the program
// opens later takes that number and receives its messages. 1 and 2 get it read-only: a write
// to them then still fails (EBADF), as to the closed descriptor, and is reported as such.
void FillClosedStandardDescriptors();

}  // namespace velk
