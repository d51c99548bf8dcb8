#pragma once

namespace tavril {

// The program's name and version, as its window title and the files it
// writes name it.
inline constexpr const char* kProgramName = "TAVRIL v1.02";

}  // namespace tavril
