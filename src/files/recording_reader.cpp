#include "files/recording_reader.h"

#include <hdf5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "files/hdf5_attributes.h"
#include "files/hdf5_handles.h"
#include "files/hdf5_layout.h"
#include "files/overview_file.h"
#include "files/recording_layout.h"
#include "model/code_polynomial.h"
#include "text/iso_time.h"
#include "text/text_encoding.h"

namespace tavril {
namespace {

constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kMaxTitleUtf8Bytes = 3 * kMaxTitleBytes;
constexpr std::size_t kMaxTimeBytes = 64;
// Samples read under one hold of the library: a writer of the same file
// waits for no more than this.
constexpr std::uint64_t kPieceSamples = std::uint64_t{1} << 18;

// The names of a group's links, in name order.
bool LinkNames(hid_t group, std::vector<std::string>& names, std::string& why) {
  H5G_info_t info{};
  if (H5Gget_info(group, &info) < 0) {
    why = Hdf5Failure("lecture du contenu de /channels");
    return false;
  }
  if (info.nlinks > static_cast<hsize_t>(kChannelCount)) {
    why = "/channels contient " + std::to_string(info.nlinks) + " objets, plus que les " +
          std::to_string(kChannelCount) + " voies de la table";
    return false;
  }
  for (hsize_t i = 0; i < info.nlinks; ++i) {
    const ssize_t size =
        H5Lget_name_by_idx(group, ".", H5_INDEX_NAME, H5_ITER_INC, i, nullptr, 0, H5P_DEFAULT);
    if (size <= 0 || static_cast<std::size_t>(size) > kMaxNameBytes) {
      why = "/channels contient un objet au nom vide, trop long ou illisible";
      return false;
    }
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
    if (H5Lget_name_by_idx(group, ".", H5_INDEX_NAME, H5_ITER_INC, i, buffer.data(), buffer.size(),
                           H5P_DEFAULT) != size) {
      why = Hdf5Failure("lecture du contenu de /channels");
      return false;
    }
    names.emplace_back(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
  }
  return true;
}

// The dimensions of a simple dataspace of `rank` dimensions.
bool Dimensions(hid_t dataset, int rank, hsize_t* dims) {
  const Hdf5Dataspace space(H5Dget_space(dataset));
  return space.valid() && H5Sget_simple_extent_type(space.get()) == H5S_SIMPLE &&
         H5Sget_simple_extent_ndims(space.get()) == rank &&
         H5Sget_simple_extent_dims(space.get(), dims, nullptr) == rank;
}

// Reads `rows` rows of `columns` values of a dataset from row `first`, as `memoryType`.
bool ReadRows(hid_t dataset, int rank, hsize_t first, hsize_t rows, hsize_t columns,
              hid_t memoryType, void* out) {
  const hsize_t start[2] = {first, 0};
  const hsize_t count[2] = {rows, columns};
  const Hdf5Dataspace file(H5Dget_space(dataset));
  const Hdf5Dataspace memory(H5Screate_simple(rank, count, nullptr));
  return file.valid() && memory.valid() &&
         H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, start, nullptr, count, nullptr) >= 0 &&
         H5Dread(dataset, memoryType, memory.get(), file.get(), H5P_DEFAULT, out) >= 0;
}

// The chunk cache of each overview level.
constexpr std::size_t kLevelCacheBytes = std::size_t{1} << 20;
constexpr std::size_t kLevelCacheSlots = 521;
// Rows per chunk of a dataset; all of them when it has no chunks.
hsize_t ChunkRows(hid_t dataset, int rank) {
  const Hdf5PropertyList creation(H5Dget_create_plist(dataset));
  hsize_t dims[2] = {0, 0};
  if (creation.valid() && H5Pget_layout(creation.get()) == H5D_CHUNKED &&
      H5Pget_chunk(creation.get(), rank, dims) == rank && dims[0] > 0)
    return dims[0];
  return std::numeric_limits<hsize_t>::max();
}

// Reads the rows of `stretches` (ascending, not overlapping), `columns`
// values of each from the first, as `memoryType`, one after the other: one
// read of the library per chunk they touch, which holds it for no longer,
// and within which the library places the rows at once (over several chunks
// it would place them value by value).
bool ReadStretches(hid_t dataset, int rank, std::span<const RecordingReader::Stretch> stretches,
                   hsize_t columns, hid_t memoryType, std::size_t rowBytes, std::byte* out) {
  const hsize_t chunk = ChunkRows(dataset, rank);
  std::size_t next = 0;  // the stretch read next, from row `at`
  hsize_t at = 0;
  const auto skipEmpty = [&] {
    while (next < stretches.size() && stretches[next].count == 0) ++next;
    if (next < stretches.size()) at = stretches[next].first;
  };
  skipEmpty();
  while (next < stretches.size()) {
    const hsize_t chunkEnd = (at / chunk + 1) * chunk;  // rows fit 63 bits
    const Hdf5Use use;
    const Hdf5Dataspace file(H5Dget_space(dataset));
    if (!file.valid()) return false;
    hsize_t rows = 0;
    while (next < stretches.size() && at < chunkEnd) {
      const hsize_t end = stretches[next].first + stretches[next].count;
      const hsize_t stop = std::min(end, chunkEnd);
      const hsize_t start[2] = {at, 0};
      const hsize_t count[2] = {stop - at, columns};
      if (H5Sselect_hyperslab(file.get(), rows == 0 ? H5S_SELECT_SET : H5S_SELECT_OR, start,
                              nullptr, count, nullptr) < 0)
        return false;
      rows += stop - at;
      at = stop;
      if (stop == end) {
        ++next;
        skipEmpty();
      }
    }
    const hsize_t dims[2] = {rows, columns};
    const Hdf5Dataspace memory(H5Screate_simple(rank, dims, nullptr));
    if (!memory.valid() ||
        H5Dread(dataset, memoryType, memory.get(), file.get(), H5P_DEFAULT, out) < 0)
      return false;
    out += rows * rowBytes;
  }
  return true;
}

// volts[i] = c0 + c1 (codes[i] - origin), as CodePolynomial computes a line,
// four codes at a time so that the compiler makes vector instructions of it.
template <class Code>
void LineVolts(const Code* codes, std::size_t count, double origin, double c0, double c1,
               double* volts) {
  const auto line = [=](Code code) { return c0 + c1 * (static_cast<double>(code) - origin); };
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const double v0 = line(codes[i]), v1 = line(codes[i + 1]);
    const double v2 = line(codes[i + 2]), v3 = line(codes[i + 3]);
    volts[i] = v0, volts[i + 1] = v1, volts[i + 2] = v2, volts[i + 3] = v3;
  }
  for (; i < count; ++i) volts[i] = line(codes[i]);
}

}  // namespace

struct RecordingReader::State {
  class ChannelSource;

  struct Channel {
    std::string where;  // as a message names it
    Hdf5Dataset dataset;
    CodeVolts volts;  // a file of codes
    std::size_t codeBytes = 0;
    std::array<Hdf5Dataset, kOverviewMaxLevels> levels;
    std::array<std::uint64_t, kOverviewMaxLevels> rows{};
    bool overview = false;  // its levels are this program's, maybe none yet
    std::unique_ptr<ChannelSource> source;
  };

  Hdf5File file;
  Hdf5File sideFile;  // the overview of a file that holds none
  bool holdsCodes = false;
  std::vector<RecordedChannel> infos;
  std::vector<Channel> channels;
  std::vector<std::byte> stored;  // codes as the file stores them, reused
  std::string failure;

  bool Fail(std::string reason, std::string* why) {
    failure = std::move(reason);
    if (why != nullptr) *why = failure;
    return false;
  }

  // The count a channel's attribute gives now, checked against its dataset.
  bool ReadCount(std::size_t k, std::string& why) {
    Channel& channel = channels[k];
    Hdf5AttributeReader attributes(channel.dataset.get(), "de " + channel.where);
    std::int64_t count = 0;
    hsize_t length = 0;
    if (!attributes.Integer("count", 0, std::numeric_limits<std::int64_t>::max(), count)) {
      why = attributes.why();
      return false;
    }
    if (!Dimensions(channel.dataset.get(), 1, &length)) {
      why = channel.where + " n'est pas un tableau à une dimension";
      return false;
    }
    // A writer killed between two flushes leaves samples past the count;
    // a file of channels holds exactly its count, or no samples at all.
    const auto counted = static_cast<std::uint64_t>(count);
    if (holdsCodes ? length < counted : length != counted && length != 0) {
      why = channel.where + " contient " + std::to_string(length) +
            " valeurs alors que son attribut « count » en annonce " + std::to_string(count);
      return false;
    }
    infos[k].sampleCount = length == 0 ? 0 : counted;
    ReadLevelRows(k);
    return true;
  }

  void ReadLevelRows(std::size_t k) {
    Channel& channel = channels[k];
    for (std::size_t level = 0; level < kOverviewMaxLevels; ++level) {
      hsize_t dims[2] = {0, 0};
      const Hdf5Dataset& rows = channel.levels[level];
      channel.rows[level] = rows.valid() && Dimensions(rows.get(), 2, dims) ? dims[0] : 0;
    }
  }

  // Opens the overview levels of channel k in `root`; false when it has none
  // or they are not this program's. A side file must have been built over
  // the channel's count.
  bool OpenOverview(std::size_t k, hid_t root, bool side) {
    Channel& channel = channels[k];
    const std::string path = recording_layout::OverviewPath(infos[k].settings.slot);
    if (H5Lexists(root, "overview", H5P_DEFAULT) <= 0 ||
        H5Lexists(root, path.c_str(), H5P_DEFAULT) <= 0)
      return false;
    const Hdf5Group group(H5Gopen2(root, path.c_str(), H5P_DEFAULT));
    if (!group.valid()) return false;
    Hdf5AttributeReader attributes(group.get(), "de /" + path);
    std::int64_t block = 0, factor = 0, built = 0;
    // An overview of other proportions is not this program's: read around it.
    if (!attributes.Integer("block_samples", 1, 1 << 30, block) ||
        !attributes.Integer("factor", 1, 1 << 30, factor) ||
        static_cast<std::uint64_t>(block) != kOverviewBlockSamples ||
        static_cast<std::uint64_t>(factor) != kOverviewFactor)
      return false;
    if (side && (!attributes.Integer("count", 0, std::numeric_limits<std::int64_t>::max(), built) ||
                 static_cast<std::uint64_t>(built) != infos[k].sampleCount))
      return false;
    for (std::size_t level = 0; level < kOverviewMaxLevels; ++level) {
      const std::string name = recording_layout::LevelName(level);
      if (H5Lexists(group.get(), name.c_str(), H5P_DEFAULT) <= 0) break;
      // The file's datasets have no chunk cache (a read of a few samples
      // reads those, not their whole chunk), but nodes scattered over a
      // level would then be read one row at a time: a level keeps a few of
      // its chunks (64 KiB at most each).
      const Hdf5PropertyList access(H5Pcreate(H5P_DATASET_ACCESS));
      if (!access.valid() ||
          H5Pset_chunk_cache(access.get(), kLevelCacheSlots, kLevelCacheBytes, 1.0) < 0)
        break;
      Hdf5Dataset rows(H5Dopen2(group.get(), name.c_str(), access.get()));
      const Hdf5Type type(rows.valid() ? H5Dget_type(rows.get()) : H5I_INVALID_HID);
      hsize_t dims[2] = {0, 0};
      if (!type.valid() || H5Tget_class(type.get()) != H5T_FLOAT ||
          !Dimensions(rows.get(), 2, dims) || dims[1] != recording_layout::kOverviewColumns)
        break;
      channel.levels[level] = std::move(rows);
    }
    channel.overview = true;
    return true;
  }

  // The side file of a file without an overview, when it still describes it.
  void OpenSideFile(const std::filesystem::path& path) {
    for (Channel& channel : channels) channel.levels = {}, channel.overview = false;
    std::string format, ignored;
    struct stat source {};
    const std::filesystem::path side = OverviewFilePath(path);
    if (::stat(path.c_str(), &source) != 0 || ::access(side.c_str(), R_OK) != 0 ||
        !hdf5_layout::OpenAnyFile(side, sideFile, format, ignored) ||
        format != hdf5_layout::kOverviewFormat) {
      sideFile.Close();
      return;
    }
    Hdf5AttributeReader attributes(sideFile.get(), "du fichier");
    std::int64_t size = 0, modified = 0;
    constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
    const bool matches = attributes.Integer("source_size", 0, kMost, size) &&
                         attributes.Integer("source_modified_ns", -kMost, kMost, modified) &&
                         size == source.st_size && modified == ModifiedNanoseconds(source);
    for (std::size_t k = 0; matches && k < channels.size(); ++k) {
      if (!OpenOverview(k, sideFile.get(), true)) {
        for (Channel& channel : channels) channel.levels = {}, channel.overview = false;
        break;
      }
    }
    for (std::size_t k = 0; k < channels.size(); ++k) ReadLevelRows(k);
  }

  // One dataset of /channels: its description, and what reading it needs.
  bool OpenChannel(hid_t group, const std::string& name, std::array<bool, kChannelCount>& seen,
                   std::string& why) {
    const std::string where = "/channels/" + name;
    H5L_info_t link{};
    if (H5Lget_info(group, name.c_str(), &link, H5P_DEFAULT) < 0 || link.type != H5L_TYPE_HARD) {
      why = where + " n'est pas un jeu de données du fichier";
      return false;
    }
    Hdf5Object object(H5Oopen(group, name.c_str(), H5P_DEFAULT));
    if (!object.valid() || H5Iget_type(object.get()) != H5I_DATASET) {
      why = where + " n'est pas un jeu de données";
      return false;
    }
    Hdf5Dataset dataset(H5Dopen2(group, name.c_str(), H5P_DEFAULT));
    Hdf5AttributeReader attributes(dataset.get(), "de " + where);
    RecordedChannel info;
    RecordingChannel& s = info.settings;
    std::int64_t slot = 0, device = 0, chan = 0, gain = 0;
    std::string title, time;
    constexpr std::int64_t kInt16Min = std::numeric_limits<std::int16_t>::min();
    constexpr std::int64_t kInt16Max = std::numeric_limits<std::int16_t>::max();
    bool ok = dataset.valid() && attributes.Integer("slot", 0, kChannelCount - 1, slot) &&
              attributes.String("title", kMaxTitleUtf8Bytes, title) &&
              attributes.Integer("device", kInt16Min, kInt16Max, device) &&
              attributes.Integer("chan", kInt16Min, kInt16Max, chan) &&
              attributes.Integer("gain", kInt16Min, kInt16Max, gain) &&
              attributes.Double("rate", s.rate);
    if (ok && attributes.Has("acquired_at")) {
      ok = attributes.String("acquired_at", kMaxTimeBytes, time);
      s.acquiredAt = ParseIsoUtc(time);
      if (ok && !s.acquiredAt) {
        why = "l'attribut « acquired_at » de " + where +
              " n'est pas une date ISO 8601 en UTC (AAAA-MM-JJTHH:MM:SSZ)";
        return false;
      }
    }
    if (!ok) {
      why = dataset.valid() ? attributes.why() : Hdf5Failure("lecture de " + where);
      return false;
    }
    if (seen[static_cast<std::size_t>(slot)]) {
      why = "la voie " + std::to_string(slot) + " figure deux fois dans /channels";
      return false;
    }
    seen[static_cast<std::size_t>(slot)] = true;
    s.slot = static_cast<int>(slot);
    s.title = Utf8ToWindows1252(title);
    s.device = static_cast<std::int16_t>(device);
    s.chan = static_cast<std::int16_t>(chan);
    s.gain = static_cast<std::int16_t>(gain);
    if (s.title.size() > kMaxTitleBytes) {
      why = "le titre de " + where + " dépasse " + std::to_string(kMaxTitleBytes) + " caractères";
      return false;
    }
    const Hdf5Type type(H5Dget_type(dataset.get()));
    const Hdf5PropertyList creation(H5Dget_create_plist(dataset.get()));
    if (!type.valid() || !creation.valid()) {
      why = Hdf5Failure("lecture de " + where);
      return false;
    }
    // A virtual dataset or external storage would read other files, by names
    // the file gives.
    const int layout = H5Pget_layout(creation.get());
    if ((layout != H5D_CONTIGUOUS && layout != H5D_CHUNKED && layout != H5D_COMPACT) ||
        H5Pget_external_count(creation.get()) != 0) {
      why = where + " garde ses valeurs hors du fichier ou d'une façon inattendue";
      return false;
    }
    Channel channel;
    channel.where = where;
    if (holdsCodes) {
      const std::size_t bytes = H5Tget_size(type.get());
      if (H5Tget_class(type.get()) != H5T_INTEGER || bytes == 0 || bytes > 4 ||
          H5Tget_sign(type.get()) != H5T_SGN_2) {
        why = where + " ne contient pas des codes entiers signés de 32 bits au plus";
        return false;
      }
      CodePolynomial polynomial;
      std::vector<double> coefficients;
      if (!attributes.Double("code_origin", polynomial.origin) ||
          !attributes.Doubles("volts_coefficients", CodePolynomial::kMaxCoefficients,
                              coefficients)) {
        why = attributes.why();
        return false;
      }
      std::copy(coefficients.begin(), coefficients.end(), polynomial.coefficients.begin());
      polynomial.coefficientCount = coefficients.size();
      const std::int64_t half = std::int64_t{1} << (8 * bytes - 1);
      channel.volts = CodeVolts(polynomial, -half, half - 1);
      channel.codeBytes = bytes;
    } else if (H5Tget_class(type.get()) != H5T_FLOAT || H5Tget_size(type.get()) != 8) {
      why = where + " ne contient pas des nombres à virgule flottante de 64 bits (float64)";
      return false;
    }
    channel.dataset = std::move(dataset);
    channels.push_back(std::move(channel));
    infos.push_back(info);
    if (!ReadCount(channels.size() - 1, why)) return false;
    if (holdsCodes && OpenOverview(channels.size() - 1, file.get(), false))
      ReadLevelRows(channels.size() - 1);
    return true;
  }

  // The total size of `stretches` of channel k, all within its samples.
  bool CheckStretches(std::size_t k, std::span<const Stretch> stretches, std::uint64_t& total,
                      std::string* why) {
    total = 0;
    for (const Stretch& stretch : stretches) {
      if (!CheckRange(k, stretch.first, stretch.count, why)) return false;
      total += stretch.count;
    }
    return true;
  }

  bool CheckRange(std::size_t k, std::uint64_t first, std::uint64_t size, std::string* why) {
    if (k >= channels.size())
      return Fail("pas de voie " + std::to_string(k) + " dans le fichier", why);
    const std::uint64_t count = infos[k].sampleCount;
    if (first > count || size > count - first) {
      return Fail("les échantillons " + std::to_string(first) + " à " +
                      std::to_string(first + size) + " dépassent les " + std::to_string(count) +
                      " de " + channels[k].where,
                  why);
    }
    return true;
  }

  bool ReadPieces(std::size_t k, std::uint64_t first, std::size_t size, hid_t memoryType,
                  std::size_t valueBytes, void* out, std::string* why) {
    auto* bytes = static_cast<std::byte*>(out);
    for (std::size_t done = 0; done < size;) {
      const std::size_t piece = static_cast<std::size_t>(
          std::min<std::uint64_t>(size - done, kPieceSamples - (first + done) % kPieceSamples));
      const Hdf5Use use;
      if (!ReadRows(channels[k].dataset.get(), 1, first + done, piece, 1, memoryType,
                    bytes + done * valueBytes))
        return Fail(Hdf5Failure("lecture des valeurs de " + channels[k].where), why);
      done += piece;
    }
    return true;
  }

  // Calls use(codes, count, offset) for codes [first, first + size) of
  // channel k, read in pieces in the file's own width: `codes` points to
  // `count` codes of a type of that width, the first being sample first +
  // offset.
  template <class Use>
  bool ForEachCode(std::size_t k, std::uint64_t first, std::size_t size, Use use,
                   std::string* why) {
    const std::size_t bytes = channels[k].codeBytes;
    const hid_t type = bytes == 1   ? H5T_NATIVE_INT8
                       : bytes == 2 ? H5T_NATIVE_INT16
                                    : H5T_NATIVE_INT32;
    for (std::size_t done = 0; done < size;) {
      const std::size_t piece =
          static_cast<std::size_t>(std::min<std::uint64_t>(size - done, kPieceSamples));
      if (stored.size() < piece * bytes) stored.resize(kPieceSamples * bytes);
      if (!ReadPieces(k, first + done, piece, type, bytes, stored.data(), why)) return false;
      if (bytes == 1) use(reinterpret_cast<const std::int8_t*>(stored.data()), piece, done);
      if (bytes == 2) use(reinterpret_cast<const std::int16_t*>(stored.data()), piece, done);
      if (bytes > 2) use(reinterpret_cast<const std::int32_t*>(stored.data()), piece, done);
      done += piece;
    }
    return true;
  }
};

class RecordingReader::State::ChannelSource final : public OverviewSource {
 public:
  ChannelSource(RecordingReader& reader, std::size_t channel) : reader_(reader), k_(channel) {}

  std::uint64_t SampleCount() const override { return reader_.state_->infos[k_].sampleCount; }
  std::uint64_t NodeCount(std::size_t level) const override {
    if (level >= kOverviewMaxLevels) return 0;
    return std::min(reader_.state_->channels[k_].rows[level],
                    OverviewNodeCount(SampleCount(), level));
  }
  bool Nodes(std::size_t level, std::uint64_t firstIndex, std::span<OverviewNode> out) override {
    State& state = *reader_.state_;
    if (firstIndex > NodeCount(level) || out.size() > NodeCount(level) - firstIndex) {
      state.failure = "l'aperçu de " + state.channels[k_].where + " n'a pas ces nœuds";
      return false;
    }
    const Hdf5Use use;
    if (!ReadRows(state.channels[k_].levels[level].get(), 2, firstIndex, out.size(),
                  recording_layout::kOverviewColumns, H5T_NATIVE_DOUBLE, out.data())) {
      state.failure = Hdf5Failure("lecture de l'aperçu de " + state.channels[k_].where);
      return false;
    }
    return true;
  }
  bool Samples(std::uint64_t firstSample, std::span<double> volts) override {
    return reader_.ReadVolts(k_, firstSample, volts, nullptr);
  }

 private:
  RecordingReader& reader_;
  std::size_t k_;
};

std::unique_ptr<RecordingReader> RecordingReader::Open(const std::filesystem::path& path,
                                                       std::string* why, CheckPlace check) {
  if (check == CheckPlace::kAside && !CheckFileAside(FileCheck::kChannelsHdf5, path, why))
    return nullptr;
  auto state = std::make_unique<State>();
  std::string reason;
  std::string format;
  const auto fail = [&](const std::string& text) -> std::unique_ptr<RecordingReader> {
    if (why != nullptr) *why = text;
    return nullptr;
  };
  const Hdf5Use use;
  if (!hdf5_layout::OpenAnyFile(path, state->file, format, reason)) return fail(reason);
  if (format == hdf5_layout::kSessionFormat)
    return fail("c'est un fichier de session TAVRIL : ouvrez-le comme une session");
  state->holdsCodes = format == hdf5_layout::kRecordingFormat;
  const htri_t exists = H5Lexists(state->file.get(), "channels", H5P_DEFAULT);
  const Hdf5Group group(exists > 0 ? H5Gopen2(state->file.get(), "channels", H5P_DEFAULT)
                                   : H5I_INVALID_HID);
  if (!group.valid()) return fail("le groupe /channels manque ou est illisible");
  std::vector<std::string> names;
  std::array<bool, kChannelCount> seen{};
  if (!LinkNames(group.get(), names, reason)) return fail(reason);
  for (const std::string& name : names) {
    if (!state->OpenChannel(group.get(), name, seen, reason)) return fail(reason);
  }
  // Slot order, the channels' data following their descriptions.
  std::vector<std::size_t> order(names.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return state->infos[a].settings.slot < state->infos[b].settings.slot;
  });
  std::vector<RecordedChannel> infos;
  std::vector<State::Channel> channels;
  for (const std::size_t i : order) {
    infos.push_back(state->infos[i]);
    channels.push_back(std::move(state->channels[i]));
  }
  state->infos = std::move(infos);
  state->channels = std::move(channels);
  if (std::any_of(state->channels.begin(), state->channels.end(),
                  [](const State::Channel& channel) { return !channel.overview; }))
    state->OpenSideFile(path);
  std::unique_ptr<RecordingReader> reader(new RecordingReader(std::move(state)));
  for (std::size_t k = 0; k < reader->state_->channels.size(); ++k)
    reader->state_->channels[k].source = std::make_unique<State::ChannelSource>(*reader, k);
  return reader;
}

RecordingReader::RecordingReader(std::unique_ptr<State> state) : state_(std::move(state)) {}

RecordingReader::~RecordingReader() {
  const Hdf5Use use;
  state_.reset();
}

std::span<const RecordedChannel> RecordingReader::Channels() const {
  return state_->infos;
}

bool RecordingReader::HoldsCodes() const {
  return state_->holdsCodes;
}

bool RecordingReader::HasOverview() const {
  return std::all_of(state_->channels.begin(), state_->channels.end(),
                     [](const State::Channel& channel) { return channel.overview; });
}

bool RecordingReader::Refresh(std::string* why) {
  const Hdf5Use use;
  std::string reason;
  for (std::size_t k = 0; k < state_->channels.size(); ++k) {
    if (!state_->ReadCount(k, reason)) return state_->Fail(reason, why);
  }
  return true;
}

bool RecordingReader::ReadCodes(std::size_t channel, std::uint64_t first,
                                std::span<std::int32_t> codes, std::string* why) {
  State& state = *state_;
  if (!state.CheckRange(channel, first, codes.size(), why)) return false;
  if (!state.holdsCodes) return state.Fail("ce fichier garde des volts, pas des codes", why);
  return state.ForEachCode(
      channel, first, codes.size(),
      [out = codes.data()](const auto* in, std::size_t count, std::size_t offset) {
        std::copy_n(in, count, out + offset);
      },
      why);
}

bool RecordingReader::ReadCodes(std::size_t channel, std::uint64_t first,
                                std::span<std::int16_t> codes, std::string* why) {
  State& state = *state_;
  if (!state.CheckRange(channel, first, codes.size(), why)) return false;
  const std::size_t bytes = state.channels[channel].codeBytes;
  if (bytes == 0 || bytes > sizeof(std::int16_t))
    return state.Fail(state.channels[channel].where + " ne garde pas des codes de 16 bits", why);
  return state.ReadPieces(channel, first, codes.size(), H5T_NATIVE_INT16, sizeof(std::int16_t),
                          codes.data(), why);
}

std::size_t RecordingReader::CodeBytes(std::size_t channel) const {
  return state_->channels.at(channel).codeBytes;
}

bool RecordingReader::ReadVolts(std::size_t channel, std::uint64_t first, std::span<double> volts,
                                std::string* why) {
  State& state = *state_;
  if (!state.CheckRange(channel, first, volts.size(), why)) return false;
  if (!state.holdsCodes) {
    return state.ReadPieces(channel, first, volts.size(), H5T_NATIVE_DOUBLE, sizeof(double),
                            volts.data(), why);
  }
  const CodeVolts& convert = state.channels[channel].volts;
  const CodePolynomial& polynomial = convert.polynomial();
  if (polynomial.coefficientCount == 2) {
    // A straight line, computed as the polynomial computes it but a few
    // codes at a time, rather than looked up code by code.
    return state.ForEachCode(
        channel, first, volts.size(),
        [out = volts.data(), origin = polynomial.origin, c0 = polynomial.coefficients[0],
         c1 = polynomial.coefficients[1]](const auto* in, std::size_t count, std::size_t offset) {
          LineVolts(in, count, origin, c0, c1, out + offset);
        },
        why);
  }
  return state.ForEachCode(
      channel, first, volts.size(),
      [out = volts.data(), &convert](const auto* in, std::size_t count, std::size_t offset) {
        for (std::size_t i = 0; i < count; ++i) out[offset + i] = convert(in[i]);
      },
      why);
}

const CodeVolts* RecordingReader::Conversion(std::size_t channel) const {
  const State::Channel& stored = state_->channels.at(channel);
  return stored.codeBytes == 0 ? nullptr : &stored.volts;
}

bool RecordingReader::ReadVolts(std::size_t channel, std::span<const Stretch> stretches,
                                std::span<double> volts, std::string* why) {
  State& state = *state_;
  std::uint64_t total = 0;
  if (!state.CheckStretches(channel, stretches, total, why)) return false;
  if (total != volts.size()) return state.Fail("les volts demandés ne tiennent pas", why);
  const State::Channel& stored = state.channels[channel];
  const std::string failure = "lecture des valeurs de " + stored.where;
  if (!state.holdsCodes) {
    if (!ReadStretches(stored.dataset.get(), 1, stretches, 1, H5T_NATIVE_DOUBLE, sizeof(double),
                       reinterpret_cast<std::byte*>(volts.data())))
      return state.Fail(Hdf5Failure(failure), why);
    return true;
  }
  if (state.stored.size() < total * sizeof(std::int32_t))
    state.stored.resize(total * sizeof(std::int32_t));
  if (!ReadStretches(stored.dataset.get(), 1, stretches, 1, H5T_NATIVE_INT32, sizeof(std::int32_t),
                     state.stored.data()))
    return state.Fail(Hdf5Failure(failure), why);
  const auto* codes = reinterpret_cast<const std::int32_t*>(state.stored.data());
  for (std::size_t i = 0; i < volts.size(); ++i) volts[i] = stored.volts(codes[i]);
  return true;
}

bool RecordingReader::ReadCodes(std::size_t channel, std::span<const Stretch> stretches,
                                std::span<std::int16_t> codes, std::string* why) {
  State& state = *state_;
  std::uint64_t total = 0;
  if (!state.CheckStretches(channel, stretches, total, why)) return false;
  const State::Channel& stored = state.channels[channel];
  if (stored.codeBytes == 0 || stored.codeBytes > sizeof(std::int16_t))
    return state.Fail(stored.where + " ne garde pas des codes de 16 bits", why);
  if (total != codes.size()) return state.Fail("les codes demandés ne tiennent pas", why);
  if (!ReadStretches(stored.dataset.get(), 1, stretches, 1, H5T_NATIVE_INT16, sizeof(std::int16_t),
                     reinterpret_cast<std::byte*>(codes.data())))
    return state.Fail(Hdf5Failure("lecture des valeurs de " + stored.where), why);
  return true;
}

bool RecordingReader::ReadNodeExtents(std::size_t channel, std::size_t level,
                                      std::span<const Stretch> stretches,
                                      std::span<ValueExtent> extents, std::string* why) {
  State& state = *state_;
  if (channel >= state.channels.size())
    return state.Fail("pas de voie " + std::to_string(channel) + " dans le fichier", why);
  const State::Channel& stored = state.channels[channel];
  const std::uint64_t held = stored.source->NodeCount(level);
  std::uint64_t total = 0;
  for (const Stretch& stretch : stretches) {
    if (stretch.first > held || stretch.count > held - stretch.first)
      return state.Fail("l'aperçu de " + stored.where + " n'a pas ces nœuds", why);
    total += stretch.count;
  }
  if (total != extents.size()) return state.Fail("les nœuds demandés ne tiennent pas", why);
  // Whole rows: the library reads each stretch at once, where two values of
  // four would be read one row at a time.
  if (state.stored.size() < total * sizeof(OverviewNode))
    state.stored.resize(total * sizeof(OverviewNode));
  if (!ReadStretches(stored.levels[level].get(), 2, stretches, recording_layout::kOverviewColumns,
                     H5T_NATIVE_DOUBLE, sizeof(OverviewNode), state.stored.data()))
    return state.Fail(Hdf5Failure("lecture de l'aperçu de " + stored.where), why);
  const auto* nodes = reinterpret_cast<const OverviewNode*>(state.stored.data());
  for (std::size_t i = 0; i < extents.size(); ++i)
    extents[i] = ValueExtent{nodes[i].minimum, nodes[i].maximum};
  return true;
}

OverviewSource& RecordingReader::Source(std::size_t channel) {
  return *state_->channels.at(channel).source;
}

const std::string& RecordingReader::LastFailure() const {
  return state_->failure;
}

}  // namespace tavril
