#include "files/overview_levels.h"

#include <bit>

#include "files/hdf5_attributes.h"
#include "files/recording_layout.h"

namespace tavril {

static_assert(std::endian::native == std::endian::little,
              "overview rows are written as the file stores them: little-endian");
static_assert(sizeof(OverviewNode) == recording_layout::kOverviewColumns * sizeof(double));

Hdf5Dataset CreateGrowing(hid_t parent, const std::string& name, hid_t type, hsize_t chunkRows,
                          hsize_t columns, hid_t access) {
  const int rank = columns == 1 ? 1 : 2;
  const hsize_t dims[2] = {0, columns};
  const hsize_t maxDims[2] = {H5S_UNLIMITED, columns};
  const hsize_t chunk[2] = {chunkRows, columns};
  const Hdf5Dataspace space(H5Screate_simple(rank, dims, maxDims));
  const Hdf5PropertyList creation(H5Pcreate(H5P_DATASET_CREATE));
  if (!space.valid() || !creation.valid() || H5Pset_chunk(creation.get(), rank, chunk) < 0)
    return Hdf5Dataset();
  return Hdf5Dataset(
      H5Dcreate2(parent, name.c_str(), type, space.get(), H5P_DEFAULT, creation.get(), access));
}

bool OverviewLevelsWriter::Begin(hid_t group) {
  return Hdf5AttributeWriter(group)
      .Integer("block_samples", H5T_STD_I32LE, kOverviewBlockSamples)
      .Integer("factor", H5T_STD_I32LE, kOverviewFactor)
      .ok();
}

bool OverviewLevelsWriter::Write(hid_t group, OverviewBuilder& builder, std::string& why) {
  for (std::size_t level = 0; level < builder.LevelCount(); ++level) {
    builder.TakeCompleted(level, nodes_);
    if (nodes_.empty()) continue;
    Hdf5Dataset& dataset = levels_[level];
    if (!dataset.valid()) {
      dataset = CreateGrowing(group, recording_layout::LevelName(level), H5T_IEEE_F64LE,
                              recording_layout::OverviewChunkRows(level),
                              recording_layout::kOverviewColumns, H5P_DEFAULT);
    }
    std::uint64_t& rows = rows_[level];
    const hsize_t start[2] = {rows, 0};
    const hsize_t count[2] = {nodes_.size(), recording_layout::kOverviewColumns};
    const hsize_t extent[2] = {rows + count[0], count[1]};
    const Hdf5Dataspace memory(H5Screate_simple(2, count, nullptr));
    bool written = dataset.valid() && memory.valid() && H5Dset_extent(dataset.get(), extent) >= 0;
    if (written) {
      const Hdf5Dataspace space(H5Dget_space(dataset.get()));
      written =
          space.valid() &&
          H5Sselect_hyperslab(space.get(), H5S_SELECT_SET, start, nullptr, count, nullptr) >= 0 &&
          H5Dwrite(dataset.get(), H5T_NATIVE_DOUBLE, memory.get(), space.get(), H5P_DEFAULT,
                   nodes_.data()) >= 0;
    }
    if (!written) {
      why = Hdf5Failure("écriture de l'aperçu");
      return false;
    }
    rows += count[0];
  }
  return true;
}

void OverviewLevelsWriter::Close() {
  for (Hdf5Dataset& level : levels_) level.Close();
}

}  // namespace tavril
