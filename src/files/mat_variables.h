#pragma once

#include <matio.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// What the MATLAB writer and reader share: the names in the file, text as
// MATLAB holds it, and matio's handles.
namespace tavril::mat_variables {

inline constexpr const char* kStructName = "channels";
inline constexpr const char* kFieldNames[] = {"slot", "title", "device", "chan",    "gain",
                                              "rate", "count", "unit",   "acquired"};
inline constexpr std::size_t kFieldCount = std::size(kFieldNames);
// Longer than any field TAVRIL writes: a title of 255 characters.
inline constexpr std::size_t kMaxFieldElements = 256;

inline std::string TimeName(int slot) {
  return "t" + std::to_string(slot);
}
inline std::string SampleName(int slot) {
  return "y" + std::to_string(slot);
}

// MATLAB's characters are UTF-16 code units. Every Windows-1252 byte has
// one in the Basic Multilingual Plane, so titles come back byte for byte.
std::u16string Windows1252ToUtf16(std::string_view bytes);
// Code units without a Windows-1252 byte (and lone surrogates) become '?'.
std::string Utf16ToWindows1252(std::u16string_view units);

// matio reports problems by printing them; the caller says what failed.
void SilenceMatioLog();

struct VariableFree {
  void operator()(matvar_t* variable) const { Mat_VarFree(variable); }
};
using Variable = std::unique_ptr<matvar_t, VariableFree>;

struct FileClose {
  void operator()(mat_t* file) const { Mat_Close(file); }
};
using File = std::unique_ptr<mat_t, FileClose>;

}  // namespace tavril::mat_variables
