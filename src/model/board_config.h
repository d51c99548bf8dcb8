#pragma once

#include <cstdint>
#include <string>

namespace tavril {

inline constexpr std::int16_t kInputModeDifferential = 0;
inline constexpr std::int16_t kInputModeReferencedSingleEnded = 1;
inline constexpr std::int16_t kInputModeNonReferencedSingleEnded = 2;
inline constexpr std::int16_t kPolarityBipolar = 0;
inline constexpr std::int16_t kPolarityUnipolar = 1;

// The configuration dialog accepts viewer paths up to this many bytes.
inline constexpr std::size_t kMaxHtmlViewerBytes = 387;

// Board settings and the help viewer, as kept in TAVRIL.INI.
struct BoardConfig {
  std::int16_t device = 0;
  std::int16_t inputMode = 0;
  std::int16_t polar = 0;
  std::int32_t timeOut = 0;  // in the board driver's ticks
  double gainAdjust = 0.0;
  double offset = 0.0;
  std::string htmlViewer;  // path bytes as stored in the file

  bool operator==(const BoardConfig&) const = default;
};

// The program's opener for HTML pages on this platform.
inline constexpr const char* kDefaultHtmlViewer = "xdg-open";

// device 1, RSE, bipolar, 180 ticks, gain adjustment 1.0, offset 0.0, the platform opener.
BoardConfig DefaultBoardConfig();

}  // namespace tavril
