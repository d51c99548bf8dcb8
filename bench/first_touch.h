#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>

// Writes `bytes` of memory in every iteration: in fresh pages each time when
// state.range(0) == 1, as a first acquisition or load does, else in pages
// already touched. On these machines a first touch is many times slower.
inline void MeasureFirstTouch(benchmark::State& state, std::size_t bytes) {
  const bool fresh = state.range(0) == 1;
  std::unique_ptr<char[]> kept(new char[bytes]);
  std::memset(kept.get(), 1, bytes);
  for (auto _ : state) {
    if (fresh) {
      std::unique_ptr<char[]> memory(new char[bytes]);
      std::memset(memory.get(), 2, bytes);
      benchmark::DoNotOptimize(memory.get());
    } else {
      std::memset(kept.get(), 2, bytes);
      benchmark::DoNotOptimize(kept.get());
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}
