#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "processing/spectrum.h"

// What the spectrum says in words, the same in the Spectre window and in
// tavril-cli. Numbers are written with a point, as everywhere else in the
// program (the information strip, the files, the command line's output),
// and a minus sign is the ASCII hyphen, so that a number copied from the
// window reads back in any tool.

namespace tavril {

// The window's word on the command line: "rectangulaire", "hann", "flattop".
std::string_view SpectrumWindowWord(SpectrumWindow window);
// The window's name in the Spectre window: "Rectangulaire", "Hann", "Flat-top".
std::string_view SpectrumWindowLabel(SpectrumWindow window);
// The window a command-line word names; none for any other word.
std::optional<SpectrumWindow> SpectrumWindowFromWord(std::string_view word);

// "500 Hz" or "12.5 Hz": as many decimals as a bin `binHz` wide tells apart.
std::string FrequencyText(double hz, double binHz);
// "-3.01 dBV".
std::string DbvText(double dbv);
// "Pic : 500 Hz, 9.03 dBV", or "Pic : —" for a spectrum without a peak.
std::string SpectrumPeakText(const Spectrum& spectrum);

// What was averaged: "1 bloc de 2000 points", "1 bloc de 2025 points
// complété par des zéros à 2048", "3 blocs de 65536 points, recouvrement
// 74 %"; without `nameBlocks`, "3 de 65536 points, ..." for a line that
// names them already.
std::string SpectrumBlocksText(const Spectrum& spectrum, bool nameBlocks = true);

// The bins as CSV: the header "frequence_hz,dbv", then one line per bin,
// each number the shortest plain decimals (no exponent) that read back as it. Lines end with '\n',
// as the command line's other texts do.
std::string SpectrumCsv(const Spectrum& spectrum);

}  // namespace tavril
