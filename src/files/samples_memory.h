#pragma once

#include <cstdint>
#include <string>

// The memory a file's samples need, checked for the whole file before any
// channel is read: a file too large is refused at once, with the size it
// would take, rather than after minutes spent reading the channels that fit.
namespace tavril {

// True when `values` samples of 8 bytes, all held at once, fit in the
// memory available (FitTogether).
bool SamplesFitInMemory(std::uint64_t values);

// Why they do not, in French: "la mémoire ne peut pas contenir les 3150000000
// valeurs du fichier (25.2 Go, 8.1 Go disponibles)"; the memory available is
// told only when it is less than the need.
std::string SamplesMemoryRefusal(std::uint64_t values);

}  // namespace tavril
