#pragma once

#include <hdf5.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "files/hdf5_handles.h"
#include "model/recording_overview.h"

namespace tavril {

// Creates an empty, extendable dataset of `columns` values per row (1: a
// one-dimensional one) in chunks of `chunkRows` rows.
Hdf5Dataset CreateGrowing(hid_t parent, const std::string& name, hid_t type, hsize_t chunkRows,
                          hsize_t columns, hid_t access);

// The overview's levels of one channel being written into `group` (the
// layout of files/recording_layout.h): nodes are appended as the builder
// completes them, each level's dataset made with its first node.
class OverviewLevelsWriter {
 public:
  // Writes `group`'s attributes block_samples and factor; false on failure.
  bool Begin(hid_t group);
  // Appends the nodes `builder` completed since the last call; false, with
  // `why`, on failure.
  bool Write(hid_t group, OverviewBuilder& builder, std::string& why);
  void Close();

 private:
  std::array<Hdf5Dataset, kOverviewMaxLevels> levels_;
  std::array<std::uint64_t, kOverviewMaxLevels> rows_{};
  std::vector<OverviewNode> nodes_;
};

}  // namespace tavril
