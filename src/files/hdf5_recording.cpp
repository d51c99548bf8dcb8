#include "files/hdf5_recording.h"

#include <fcntl.h>
#include <hdf5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "files/channel_set.h"
#include "files/hdf5_attributes.h"
#include "files/hdf5_handles.h"
#include "files/hdf5_layout.h"
#include "files/overview_levels.h"
#include "files/recording_layout.h"
#include "files/write_target.h"
#include "model/code_polynomial.h"
#include "model/recording_overview.h"
#include "text/iso_time.h"
#include "text/system_error_text.h"
#include "text/text_encoding.h"

namespace tavril {
namespace {

static_assert(std::endian::native == std::endian::little,
              "chunks are written as the file stores them: little-endian");
constexpr std::size_t kPieceScans = 2048;
// Room for the metadata a flush writes (chunk index nodes, the aggregators'
// blocks), far more than a few records take.
constexpr off_t kMetadataRoom = off_t{256} << 10;

// The statistics of everything appended to one channel, as ComputeStatistics
// would give them for all those samples (the sum in four partial sums),
// kept up to date piece by piece.
struct RunningStatistics {
  std::uint64_t count = 0;
  std::uint64_t maxIndex = 0;
  double maxValue = 0.0;
  std::uint64_t minIndex = 0;
  double minValue = 0.0;
  double sum = 0.0;

  void Add(std::span<const double> values) {
    if (values.empty()) return;
    if (count == 0) maxValue = minValue = values.front();
    // The piece's extremes and sum first, in independent lanes, and the
    // index of an extreme only when it beats the one kept: a few times per
    // piece instead of two branches per sample. A NaN (or infinities of both
    // signs) makes the sum a NaN, and such pieces go sample by sample.
    double hi[4], lo[4], part[4] = {};
    std::fill(hi, hi + 4, values.front());
    std::fill(lo, lo + 4, values.front());
    const std::size_t n = values.size();
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
      for (int lane = 0; lane < 4; ++lane) {
        const double value = values[i + lane];
        hi[lane] = value > hi[lane] ? value : hi[lane];
        lo[lane] = value < lo[lane] ? value : lo[lane];
        part[lane] += value;
      }
    }
    for (; i < n; ++i) {
      hi[0] = values[i] > hi[0] ? values[i] : hi[0];
      lo[0] = values[i] < lo[0] ? values[i] : lo[0];
      part[0] += values[i];
    }
    const double pieceSum = (part[0] + part[1]) + (part[2] + part[3]);
    if (std::isnan(pieceSum) || std::isnan(sum)) return AddOneByOne(values);
    const double pieceMax = std::max({hi[0], hi[1], hi[2], hi[3]});
    const double pieceMin = std::min({lo[0], lo[1], lo[2], lo[3]});
    // The first sample equal to the extreme, as a sample by sample pass
    // keeps it (and its sign, should it be a zero).
    if (pieceMax > maxValue) {
      const auto at = std::find(values.begin(), values.end(), pieceMax);
      maxIndex = count + static_cast<std::uint64_t>(at - values.begin());
      maxValue = *at;
    }
    if (pieceMin < minValue) {
      const auto at = std::find(values.begin(), values.end(), pieceMin);
      minIndex = count + static_cast<std::uint64_t>(at - values.begin());
      minValue = *at;
    }
    sum += pieceSum;
    count += n;
  }

  void AddOneByOne(std::span<const double> values) {
    for (const double value : values) {
      if (value > maxValue) {
        maxIndex = count;
        maxValue = value;
      }
      // A NaN fails ">=" and so takes the minimum, as in ComputeStatistics.
      if (!(value >= minValue)) {
        minIndex = count;
        minValue = value;
      }
      sum += value;
      ++count;
    }
  }
  double Mean() const { return count == 0 ? 0.0 : sum / static_cast<double>(count); }
};

bool UpdateAttribute(hid_t dataset, const char* name, hid_t memoryType, const void* value) {
  const Hdf5Attribute attribute(H5Aopen(dataset, name, H5P_DEFAULT));
  return attribute.valid() && H5Awrite(attribute.get(), memoryType, value) >= 0;
}

// The chunk index grows with the run; the library's metadata cache, left to
// adapt, would keep more and more of its nodes (each about 2 KiB in the file
// but near 18 KiB in memory). A fixed 64 KiB holds the few an append
// touches, whatever the run's length.
bool KeepMetadataCacheSmall(hid_t access) {
  H5AC_cache_config_t config{};
  config.version = H5AC__CURR_CACHE_CONFIG_VERSION;
  if (H5Pget_mdc_config(access, &config) < 0) return false;
  config.set_initial_size = true;
  config.initial_size = std::size_t{64} << 10;
  config.min_size = config.initial_size;
  config.max_size = config.initial_size;
  config.incr_mode = H5C_incr__off;
  config.flash_incr_mode = H5C_flash_incr__off;
  config.decr_mode = H5C_decr__off;
  return H5Pset_mdc_config(access, &config) >= 0;
}

bool IsFullDisk(int error) {
  return error == ENOSPC || error == EFBIG || error == EDQUOT;
}

// A new file beside `target` under a name no other file has, created by the
// library (exclusively, so that no link planted there redirects it).
Hdf5File CreateBeside(const std::filesystem::path& target, hid_t access,
                      std::filesystem::path& temporary) {
  // Short enough for any file name: the hidden name must fit the folder's limit too.
  const std::string stem =
      "." + target.filename().string().substr(0, 200) + ".tmp-" + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = target.parent_path() / (stem + std::to_string(attempt));
    struct stat info {};
    if (::lstat(temporary.c_str(), &info) == 0) continue;
    return Hdf5File(H5Fcreate(temporary.c_str(), H5F_ACC_EXCL, H5P_DEFAULT, access));
  }
  return Hdf5File();
}

}  // namespace

struct Hdf5Recording::State {
  enum class Status { kRecording, kStopped, kClosed };

  struct Channel {
    RecordingChannel settings;
    Hdf5Dataset dataset;  // once the board has started
    Hdf5Group overview;
    OverviewLevelsWriter levels;
    // The chunk being filled, as the file stores it: `pendingCount` codes
    // from `chunkStart` on, then what an earlier chunk left, past the
    // dataset's extent.
    std::vector<std::byte> pending;
    std::vector<double> volts;  // the piece being added, in volts
    OverviewBuilder builder;
    RunningStatistics statistics;
  };

  std::vector<Channel> channels;
  Hdf5File file;
  Hdf5PropertyList datasetAccess;
  int* fd = nullptr;                // the library's descriptor of the file
  std::filesystem::path target;     // the end of the path's links
  std::filesystem::path temporary;  // the file's name until it is in place
  bool inPlace = false;
  bool begun = false;  // the channels' datasets exist
  Status status = Status::kRecording;
  std::string failure;  // why the recording stopped
  // Codes are stored in `codeBytes` bytes (2 or 4), `chunkCodes` per chunk.
  std::size_t codeBytes = 4;
  std::size_t chunkCodes = 0;
  std::int64_t lowestCode = 0;
  std::int64_t highestCode = 0;
  CodeVolts codeVolts;           // the file's conversion, as a reader computes it
  std::uint64_t chunkStart = 0;  // index of each channel's first pending code
  std::size_t pendingCount = 0;
  std::uint64_t written = 0;  // samples per channel in the datasets
  std::uint64_t flushed = 0;  // samples per channel up to the last flush
  std::uint64_t bytes = 0;

  std::uint64_t Appended() const { return chunkStart + pendingCount; }

  std::string Kept() const {
    return "le fichier garde les " + std::to_string(flushed) +
           " échantillons par voie écrits jusque-là.";
  }

  // Stops the recording: nothing more reaches the file, which keeps what the
  // last flush left. The library would otherwise write its cached metadata,
  // describing samples the disk refused, over that state when closing; its
  // descriptor is made read-only so that every later write of it fails.
  bool Stop(std::string reason) {
    if (status == Status::kRecording) {
      status = Status::kStopped;
      failure = std::move(reason);
      const int readOnly =
          ::open(("/proc/self/fd/" + std::to_string(*fd)).c_str(), O_RDONLY | O_CLOEXEC);
      if (readOnly >= 0) {
        ::dup3(readOnly, *fd, O_CLOEXEC);
        ::close(readOnly);
      }
    }
    return false;
  }

  bool StopOnSystemError(int error) {
    if (IsFullDisk(error))
      return Stop("Le disque est plein : l'enregistrement s'arrête ; " + Kept());
    return Stop("Erreur d'écriture (" + SystemErrorText(error) +
                ") : l'enregistrement s'arrête ; " + Kept());
  }

  bool StopOnLibraryError(const std::string& what) {
    return Stop(Hdf5Failure(what) + " : l'enregistrement s'arrête ; " + Kept());
  }

  // Makes sure the disk has room for `size` more bytes past the file's end,
  // so that a full disk is found before the library writes anything, never
  // half-way through a flush.
  bool Reserve(off_t size) {
    haddr_t end = 0;
    if (H5Fget_eoa(file.get(), &end) < 0) return StopOnLibraryError("taille du fichier");
    const int error = ::posix_fallocate(*fd, static_cast<off_t>(end), size);
    if (error != 0) return StopOnSystemError(error);
    return true;
  }

  void NoteSize() {
    haddr_t end = 0;
    if (H5Fget_eoa(file.get(), &end) >= 0) bytes = end;
  }

  // The channels' datasets, for codes that `conversion` turns into volts
  // at `rate` samples per second.
  bool Begin(double rate, const ReadingConversion& conversion) {
    const VoltScale& scale = conversion.scale;
    lowestCode = scale.lowestReading;
    highestCode = scale.highestReading;
    const bool narrow =
        lowestCode <= highestCode && lowestCode >= INT16_MIN && highestCode <= INT16_MAX;
    codeBytes = narrow ? 2 : 4;
    if (!narrow) lowestCode = INT32_MIN, highestCode = INT32_MAX;
    chunkCodes = recording_layout::kRecordingChunkBytes / codeBytes;
    const CodePolynomial polynomial = CodePolynomial::Of(conversion);
    codeVolts = CodeVolts(polynomial, scale.lowestReading, scale.highestReading);
    const hid_t type = narrow ? H5T_STD_I16LE : H5T_STD_I32LE;
    for (Channel& channel : channels) {
      const RecordingChannel& c = channel.settings;
      const std::string where = "voie " + std::to_string(c.slot);
      channel.settings.rate = rate;
      channel.dataset = CreateGrowing(file.get(), recording_layout::ChannelPath(c.slot), type,
                                      chunkCodes, 1, datasetAccess.get());
      channel.overview =
          Hdf5Group(H5Gcreate2(file.get(), recording_layout::OverviewPath(c.slot).c_str(),
                               H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
      if (!channel.dataset.valid() || !channel.overview.valid())
        return StopOnLibraryError("création de la " + where);
      Hdf5AttributeWriter attributes(channel.dataset.get());
      attributes.Integer("slot", H5T_STD_I32LE, c.slot)
          .Utf8("title", Windows1252ToUtf8(c.title))
          .Integer("device", H5T_STD_I16LE, c.device)
          .Integer("chan", H5T_STD_I16LE, c.chan)
          .Integer("gain", H5T_STD_I16LE, c.gain)
          .Integer("count", H5T_STD_U64LE, 0)
          .Double("rate", rate)
          .Utf8("unit", "V")
          .Utf8("time_unit", "s")
          .Double("sample_interval", 1.0 / rate)
          .Double("code_origin", polynomial.origin)
          .Doubles("volts_coefficients", polynomial.Coefficients())
          .Integer("max_index", H5T_STD_U64LE, 0)
          .Double("max_value", 0.0)
          .Integer("min_index", H5T_STD_U64LE, 0)
          .Double("min_value", 0.0)
          .Double("mean", 0.0);
      if (c.acquiredAt) attributes.Utf8("acquired_at", FormatIsoUtc(*c.acquiredAt));
      if (!channel.levels.Begin(channel.overview.get()))
        return StopOnLibraryError("aperçu de la " + where);
      if (!attributes.ok()) return Stop(where + " : " + attributes.why());
      channel.pending.resize(recording_layout::kRecordingChunkBytes);
    }
    begun = true;
    return true;
  }

  // Appends the overview's nodes completed since the last call.
  bool WriteNodes() {
    for (Channel& channel : channels) {
      std::string why;
      if (!channel.levels.Write(channel.overview.get(), channel.builder, why))
        return Stop(why + " de la voie " + std::to_string(channel.settings.slot) +
                    " : l'enregistrement s'arrête ; " + Kept());
    }
    return true;
  }

  // Writes the chunk being filled of every channel, whole, as the file
  // stores it: the library neither copies nor converts it. The dataset's
  // extent says how much of it holds samples.
  bool WritePending() {
    const std::uint64_t end = Appended();
    if (end == written) return true;
    const std::size_t nodeBytes = channels.size() *
                                  (recording_layout::kRecordingChunkBytes / codeBytes) /
                                  kOverviewBlockSamples * sizeof(OverviewNode) * 2;
    if (!Reserve(static_cast<off_t>(channels.size() * recording_layout::kRecordingChunkBytes +
                                    nodeBytes) +
                 kMetadataRoom))
      return false;
    const hsize_t offset = chunkStart;
    const hsize_t extent = end;
    for (Channel& channel : channels) {
      if (H5Dset_extent(channel.dataset.get(), &extent) < 0) {
        return StopOnLibraryError("extension de la voie");
      }
      if (H5Dwrite_chunk(channel.dataset.get(), H5P_DEFAULT, 0, &offset,
                         recording_layout::kRecordingChunkBytes, channel.pending.data()) < 0) {
        return StopOnLibraryError("écriture de la voie " + std::to_string(channel.settings.slot));
      }
    }
    if (!WriteNodes()) return false;
    written = end;
    NoteSize();
    return true;
  }

  bool WriteStatistics() {
    const std::uint64_t count = written;
    for (const Channel& channel : channels) {
      const RunningStatistics& s = channel.statistics;
      const double mean = s.Mean();
      const hid_t dataset = channel.dataset.get();
      if (!UpdateAttribute(dataset, "count", H5T_NATIVE_UINT64, &count) ||
          !UpdateAttribute(dataset, "max_index", H5T_NATIVE_UINT64, &s.maxIndex) ||
          !UpdateAttribute(dataset, "max_value", H5T_NATIVE_DOUBLE, &s.maxValue) ||
          !UpdateAttribute(dataset, "min_index", H5T_NATIVE_UINT64, &s.minIndex) ||
          !UpdateAttribute(dataset, "min_value", H5T_NATIVE_DOUBLE, &s.minValue) ||
          !UpdateAttribute(dataset, "mean", H5T_NATIVE_DOUBLE, &mean)) {
        return StopOnLibraryError("attributs de la voie " + std::to_string(channel.settings.slot));
      }
    }
    return true;
  }

  bool Flush() {
    if (!begun) return true;
    if (!WritePending() || !Reserve(kMetadataRoom) || !WriteStatistics()) return false;
    if (H5Fflush(file.get(), H5F_SCOPE_GLOBAL) < 0)
      return StopOnLibraryError("écriture du fichier");
    flushed = written;
    NoteSize();
    return true;
  }

  bool PutInPlace() {
    if (inPlace) return true;
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
      return Stop("Impossible de remplacer « " + target.string() +
                  " » par l'enregistrement : " + SystemErrorText(errno) + ".");
    }
    inPlace = true;
    return true;
  }

  // Stores the codes of scans [first, first + count) of `block`, channel
  // `k`, `skip` codes after the pending ones, and their volts in the
  // channel's `volts`.
  template <class Code>
  void StoreCodes(const SampleBlock& block, std::size_t k, std::size_t first, std::size_t count,
                  std::size_t skip) {
    Channel& channel = channels[k];
    Code* out = reinterpret_cast<Code*>(channel.pending.data()) + pendingCount + skip;
    double* volt = channel.volts.data();
    const std::size_t stride = block.volts.size();
    const BoardReading* in = block.readings.data() + first * stride + k;
    for (std::size_t s = 0; s < count; ++s, in += stride) {
      out[s] = static_cast<Code>(*in);
      volt[s] = codeVolts(*in);
    }
  }

  bool Append(const SampleBlock& block) {
    // A code the file's type cannot hold stops the recording before any of
    // the block is taken: the file keeps what came before, whole.
    const auto [lowest, highest] =
        std::minmax_element(block.readings.begin(), block.readings.end());
    if (lowest != block.readings.end() && (*lowest < lowestCode || *highest > highestCode)) {
      if (!Flush()) return false;
      return Stop("La carte a donné un code hors de son étendue (" + std::to_string(lowestCode) +
                  " à " + std::to_string(highestCode) + ") : l'enregistrement s'arrête ; " +
                  Kept());
    }
    const std::size_t length = block.Scans();
    for (std::size_t done = 0; done < length;) {
      const std::size_t take = std::min(length - done, chunkCodes - pendingCount);
      // Pieces whose volts stay in the cache from one pass to the next.
      for (std::size_t at = 0; at < take; at += kPieceScans) {
        const std::size_t piece = std::min(take - at, kPieceScans);
        for (std::size_t k = 0; k < channels.size(); ++k) {
          Channel& channel = channels[k];
          channel.volts.resize(kPieceScans);
          if (codeBytes == 2)
            StoreCodes<std::int16_t>(block, k, done + at, piece, at);
          else
            StoreCodes<std::int32_t>(block, k, done + at, piece, at);
          const std::span<const double> part(channel.volts.data(), piece);
          channel.statistics.Add(part);
          channel.builder.Append(part);
        }
      }
      done += take;
      pendingCount += take;
      if (pendingCount == chunkCodes) {
        if (!WritePending()) return false;
        chunkStart += chunkCodes;
        pendingCount = 0;
      }
    }
    return true;
  }
};

std::unique_ptr<Hdf5Recording> Hdf5Recording::Create(const std::filesystem::path& path,
                                                     std::span<const RecordingChannel> channels,
                                                     std::string* why) {
  std::string reason;
  const Hdf5Use use;
  auto state = std::make_unique<State>();
  const auto fail = [&](std::string text) -> std::unique_ptr<Hdf5Recording> {
    if (why != nullptr) *why = "Impossible de créer l'enregistrement : " + std::move(text);
    if (state->file.valid()) {
      const std::filesystem::path temporary = state->temporary;
      state.reset();
      ::unlink(temporary.c_str());
    }
    return nullptr;
  };
  if (channels.empty()) return fail("aucune voie à enregistrer");
  const std::optional<WriteTarget> target = ResolveWriteTarget(path);
  if (!target) return fail(SystemErrorText(errno));
  // An existing file the user may not write is not the recording's to replace.
  if (target->exists &&
      (S_ISDIR(target->info.st_mode) || ::access(target->path.c_str(), W_OK) != 0))
    return fail(SystemErrorText(S_ISDIR(target->info.st_mode) ? EISDIR : errno));
  state->target = target->path;
  std::array<bool, kChannelCount> slots{};
  for (const RecordingChannel& channel : channels) {
    if (channel.slot < 0 || channel.slot >= kChannelCount || slots[channel.slot])
      return fail("voie " + std::to_string(channel.slot) +
                  " : hors de la table (0 à 7) ou demandée deux fois");
    slots[channel.slot] = true;
    if (!(channel.rate > 0.0))
      return fail("la cadence de la voie " + std::to_string(channel.slot) + " n'est pas positive");
    if (channel.title.size() > kMaxTitleBytes) return fail("titre trop long");
    state->channels.emplace_back().settings = channel;
  }
  // The default format bounds keep the oldest superblock, which marks no
  // file as open for writing: a recording whose writer was killed opens as
  // it is. Locked as the program's reader locks, so that the program can read
  // the recording as it grows while others wait for its end or its writer's
  // death (the lock goes with the process). The library's own close degree
  // too: the reader's open of the same file fails on any other.
  const Hdf5PropertyList access(H5Pcreate(H5P_FILE_ACCESS));
  state->datasetAccess = Hdf5PropertyList(H5Pcreate(H5P_DATASET_ACCESS));
  if (!access.valid() || !state->datasetAccess.valid() || H5Pset_fapl_sec2(access.get()) < 0 ||
      H5Pset_file_locking(access.get(), true, true) < 0 || !KeepMetadataCacheSmall(access.get()) ||
      // Whole chunks go straight to the file rather than through a cache.
      H5Pset_chunk_cache(state->datasetAccess.get(), H5D_CHUNK_CACHE_NSLOTS_DEFAULT, 0,
                         H5D_CHUNK_CACHE_W0_DEFAULT) < 0) {
    return fail(Hdf5Failure("préparation du fichier"));
  }
  state->file = CreateBeside(state->target, access.get(), state->temporary);
  if (state->file.valid() && target->exists) {
    ::chmod(state->temporary.c_str(), target->info.st_mode & 07777);
  }
  void* handle = nullptr;
  if (!state->file.valid() || H5Fget_vfd_handle(state->file.get(), access.get(), &handle) < 0 ||
      handle == nullptr) {
    return fail(Hdf5Failure("création du fichier"));
  }
  state->fd = static_cast<int*>(handle);
  if (!hdf5_layout::WriteFileAttributes(state->file.get(), recording_layout::kFormat, reason,
                                        recording_layout::kFormatVersion)) {
    return fail(std::move(reason));
  }
  for (const char* group : {"channels", "overview"}) {
    const Hdf5Group created(
        H5Gcreate2(state->file.get(), group, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
    if (!created.valid()) return fail(Hdf5Failure("création du groupe"));
  }
  if (H5Fflush(state->file.get(), H5F_SCOPE_GLOBAL) < 0) {
    return fail(Hdf5Failure("écriture du fichier"));
  }
  state->NoteSize();
  return std::unique_ptr<Hdf5Recording>(new Hdf5Recording(std::move(state)));
}

Hdf5Recording::Hdf5Recording(std::unique_ptr<State> state) : state_(std::move(state)) {}

Hdf5Recording::~Hdf5Recording() {
  Close(nullptr);
}

namespace {

bool Refused(const std::string& reason, std::string* why) {
  if (why != nullptr) *why = reason;
  return false;
}

}  // namespace

bool Hdf5Recording::Append(const SampleBlock& block, std::string* why) {
  State& state = *state_;
  if (state.status != State::Status::kRecording) return Refused(state.failure, why);
  if (block.volts.size() != state.channels.size() || block.conversion == nullptr ||
      block.readings.size() != block.Scans() * block.volts.size()) {
    return Refused("chaque voie enregistrée doit recevoir autant de mesures que les autres", why);
  }
  const Hdf5Use use;
  // Samples come once the board has started.
  if (!state.begun && !state.Begin(state.channels.front().settings.rate, *block.conversion))
    return Refused(state.failure, why);
  if (!state.PutInPlace()) return Refused(state.failure, why);
  return state.Append(block) || Refused(state.failure, why);
}

bool Hdf5Recording::Flush(std::string* why) {
  if (state_->status != State::Status::kRecording) return Refused(state_->failure, why);
  const Hdf5Use use;
  return state_->Flush() || Refused(state_->failure, why);
}

std::uint64_t Hdf5Recording::SamplesPerChannel() const {
  // Once stopped, what the file keeps.
  return state_->status == State::Status::kRecording ? state_->Appended() : state_->flushed;
}

std::uint64_t Hdf5Recording::BytesOnDisk() const {
  return state_->bytes;
}

bool Hdf5Recording::Started(double rate, const ReadingConversion& conversion, std::string* why) {
  State& state = *state_;
  if (state.status != State::Status::kRecording) return Refused(state.failure, why);
  if (!(rate > 0.0)) return Refused("la cadence de l'enregistrement n'est pas positive", why);
  const Hdf5Use use;
  if (state.begun) return Refused("l'enregistrement a déjà commencé", why);
  if (!state.Begin(rate, conversion) || !state.Flush()) return Refused(state.failure, why);
  return state.PutInPlace() || Refused(state.failure, why);
}

bool Hdf5Recording::InPlace() const {
  return state_->inPlace;
}

bool Hdf5Recording::Close(std::string* why) {
  State& state = *state_;
  if (state.status == State::Status::kClosed) {
    return Refused("l'enregistrement est déjà terminé", why);
  }
  const Hdf5Use use;
  bool finished = state.status == State::Status::kRecording && state.Flush();
  if (finished) {
    // Gives back the room reserved past the file's end.
    haddr_t end = 0;
    if (H5Fget_eoa(state.file.get(), &end) >= 0) {
      if (::ftruncate(*state.fd, static_cast<off_t>(end)) != 0) {
        finished = state.StopOnSystemError(errno);
      }
    }
  }
  for (State::Channel& channel : state.channels) {
    channel.levels.Close();
    channel.overview.Close();
    channel.dataset.Close();
    channel.pending = std::vector<std::byte>();
  }
  state.datasetAccess.Close();
  if (!state.file.Close() && finished) {
    finished = false;
    state.failure = Hdf5Failure("fermeture du fichier");
  }
  if (!finished && why != nullptr) *why = state.failure;
  // A run the board never started replaces nothing.
  if (!state.inPlace) ::unlink(state.temporary.c_str());
  state.status = State::Status::kClosed;
  if (state.failure.empty()) state.failure = "l'enregistrement est terminé";
  return finished;
}

}  // namespace tavril
