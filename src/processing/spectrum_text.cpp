#include "processing/spectrum_text.h"

#include "text/number_text.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tavril {
namespace {

struct WindowName {
  SpectrumWindow window;
  std::string_view word;
  std::string_view label;
};

constexpr std::array<WindowName, 3> kWindowNames = {{
    {SpectrumWindow::kRectangular, "rectangulaire", "Rectangulaire"},
    {SpectrumWindow::kHann, "hann", "Hann"},
    {SpectrumWindow::kFlatTop, "flattop", "Flat-top"},
}};

const WindowName& NameOf(SpectrumWindow window) {
  for (const WindowName& name : kWindowNames) {
    if (name.window == window) return name;
  }
  return kWindowNames[0];
}

}  // namespace

std::string_view SpectrumWindowWord(SpectrumWindow window) {
  return NameOf(window).word;
}

std::string_view SpectrumWindowLabel(SpectrumWindow window) {
  return NameOf(window).label;
}

std::optional<SpectrumWindow> SpectrumWindowFromWord(std::string_view word) {
  for (const WindowName& name : kWindowNames) {
    if (name.word == word) return name.window;
  }
  return std::nullopt;
}

std::string FrequencyText(double hz, double binHz) {
  int decimals = 0;
  if (binHz > 0 && binHz < 1)
    decimals = std::min(6, static_cast<int>(std::ceil(-std::log10(binHz))));
  return FormatFixed(hz, decimals) + " Hz";
}

std::string DbvText(double dbv) {
  return FormatFixed(dbv, 2) + " dBV";
}

std::string SpectrumPeakText(const Spectrum& spectrum) {
  if (!spectrum.peak) return "Pic : —";
  return "Pic : " + FrequencyText(spectrum.peak->frequency, spectrum.binHz) + ", " +
         DbvText(spectrum.peak->dbv);
}

std::string SpectrumBlocksText(const Spectrum& spectrum, bool nameBlocks) {
  std::string text = std::to_string(spectrum.blocks);
  if (nameBlocks) text += spectrum.blocks > 1 ? " blocs" : " bloc";
  text += " de " + std::to_string(spectrum.blockLength) + " points";
  if (spectrum.transformLength > spectrum.blockLength)
    text += " complété par des zéros à " + std::to_string(spectrum.transformLength);
  if (spectrum.blocks > 1)
    text += ", recouvrement " + FormatFixed(std::round(spectrum.overlap * 100), 0) + " %";
  return text;
}

std::string SpectrumCsv(const Spectrum& spectrum) {
  std::string text = "frequence_hz,dbv\n";
  text.reserve(text.size() + spectrum.dbv.size() * 24);
  for (std::size_t k = 0; k < spectrum.dbv.size(); ++k) {
    AppendShortestDecimals(text, static_cast<double>(k) * spectrum.binHz);
    text += ',';
    AppendShortestDecimals(text, spectrum.dbv[k]);
    text += '\n';
  }
  return text;
}

}  // namespace tavril
