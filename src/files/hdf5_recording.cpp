#include "files/hdf5_recording.h"

#include <fcntl.h>
#include <hdf5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "files/channel_set.h"
#include "files/hdf5_handles.h"
#include "files/hdf5_layout.h"
#include "files/write_target.h"
#include "text/system_error_text.h"

namespace tavril {
namespace {

constexpr std::size_t kChunk = hdf5_layout::kChunkValues;
static_assert(std::endian::native == std::endian::little,
              "chunks are written as the file stores them: little-endian doubles");
constexpr std::uint64_t kMaxCount = std::numeric_limits<std::uint32_t>::max();
// Room for the metadata a flush writes (chunk index nodes, the aggregators'
// blocks), far more than a few records take.
constexpr off_t kMetadataRoom = off_t{256} << 10;

// The statistics of everything appended to one channel, as ComputeStatistics
// would give them for all those samples (the sum in four partial sums),
// kept up to date piece by piece.
struct RunningStatistics {
  std::uint64_t count = 0;
  std::uint32_t maxIndex = 0;
  double maxValue = 0.0;
  std::uint32_t minIndex = 0;
  double minValue = 0.0;
  double sum = 0.0;

  // Adds `values` and copies them to `copy`, in the same pass.
  void Add(std::span<const double> values, double* copy) {
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
        copy[i + lane] = value;
        hi[lane] = value > hi[lane] ? value : hi[lane];
        lo[lane] = value < lo[lane] ? value : lo[lane];
        part[lane] += value;
      }
    }
    for (; i < n; ++i) {
      copy[i] = values[i];
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
      maxIndex = static_cast<std::uint32_t>(count + (at - values.begin()));
      maxValue = *at;
    }
    if (pieceMin < minValue) {
      const auto at = std::find(values.begin(), values.end(), pieceMin);
      minIndex = static_cast<std::uint32_t>(count + (at - values.begin()));
      minValue = *at;
    }
    sum += pieceSum;
    count += n;
  }

  void AddOneByOne(std::span<const double> values) {
    for (const double value : values) {
      if (value > maxValue) {
        maxIndex = static_cast<std::uint32_t>(count);
        maxValue = value;
      }
      // A NaN fails ">=" and so takes the minimum, as in ComputeStatistics.
      if (!(value >= minValue)) {
        minIndex = static_cast<std::uint32_t>(count);
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
    int slot = 0;
    Hdf5Dataset dataset;
    // The chunk being filled: `pendingCount` samples from `chunkStart` on,
    // then what an earlier chunk left, past the dataset's extent.
    std::vector<double> pending;
    RunningStatistics statistics;
  };

  std::vector<Channel> channels;
  Hdf5File file;
  int* fd = nullptr;                // the library's descriptor of the file
  std::filesystem::path target;     // the end of the path's links
  std::filesystem::path temporary;  // the file's name until it is in place
  bool inPlace = false;
  Status status = Status::kRecording;
  std::string failure;           // why the recording stopped
  std::uint64_t chunkStart = 0;  // index of each channel's pending[0]
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

  bool StopOnLibraryError(const char* what) {
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

  // Writes the chunk being filled of every channel, whole, as the file
  // stores it (little-endian doubles, no filter): the library neither copies
  // nor converts it. The dataset's extent says how much of it holds samples.
  bool WritePending() {
    const std::uint64_t end = Appended();
    if (end == written) return true;
    if (!Reserve(static_cast<off_t>(channels.size() * kChunk * sizeof(double)) + kMetadataRoom))
      return false;
    const hsize_t offset = chunkStart;
    const hsize_t extent = end;
    for (Channel& channel : channels) {
      if (H5Dset_extent(channel.dataset.get(), &extent) < 0) {
        return StopOnLibraryError("extension de la voie");
      }
      if (H5Dwrite_chunk(channel.dataset.get(), H5P_DEFAULT, 0, &offset, kChunk * sizeof(double),
                         channel.pending.data()) < 0) {
        return StopOnLibraryError(("écriture de la voie " + std::to_string(channel.slot)).c_str());
      }
    }
    written = end;
    NoteSize();
    return true;
  }

  bool WriteStatistics() {
    const std::uint64_t count = written;
    for (const Channel& channel : channels) {
      const RunningStatistics& s = channel.statistics;
      const std::uint32_t maxIndex = s.maxIndex;
      const std::uint32_t minIndex = s.minIndex;
      const double mean = s.Mean();
      const hid_t dataset = channel.dataset.get();
      if (!UpdateAttribute(dataset, "count", H5T_NATIVE_UINT64, &count) ||
          !UpdateAttribute(dataset, "max_index", H5T_NATIVE_UINT32, &maxIndex) ||
          !UpdateAttribute(dataset, "max_value", H5T_NATIVE_DOUBLE, &s.maxValue) ||
          !UpdateAttribute(dataset, "min_index", H5T_NATIVE_UINT32, &minIndex) ||
          !UpdateAttribute(dataset, "min_value", H5T_NATIVE_DOUBLE, &s.minValue) ||
          !UpdateAttribute(dataset, "mean", H5T_NATIVE_DOUBLE, &mean)) {
        return StopOnLibraryError(("attributs de la voie " + std::to_string(channel.slot)).c_str());
      }
    }
    return true;
  }

  bool Flush() {
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

  bool Append(std::span<const std::span<const double>> values) {
    // Samples come once the board has started.
    if (!PutInPlace()) return false;
    const std::size_t length = values.front().size();
    if (Appended() + length > kMaxCount) {
      // What came until then is kept whole.
      if (!Flush()) return false;
      return Stop("L'enregistrement atteint " + std::to_string(kMaxCount) +
                  " échantillons par voie, le plus qu'un fichier de voies décrit : il s'arrête ; " +
                  Kept());
    }
    for (std::size_t done = 0; done < length;) {
      const std::size_t take = std::min(length - done, kChunk - pendingCount);
      for (std::size_t k = 0; k < channels.size(); ++k) {
        const std::span<const double> part = values[k].subspan(done, take);
        channels[k].statistics.Add(part, channels[k].pending.data() + pendingCount);
      }
      done += take;
      pendingCount += take;
      if (pendingCount == kChunk) {
        if (!WritePending()) return false;
        chunkStart += kChunk;
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
  // The records the layout writes: each channel's description, no samples.
  ChannelSet records;
  for (const RecordingChannel& channel : channels) {
    if (!(channel.rate > 0.0))
      return fail("la cadence de la voie " + std::to_string(channel.slot) + " n'est pas positive");
    if (channel.title.size() > kMaxTitleBytes) return fail("titre trop long");
    SlotRecord& entry = records.emplace_back();
    entry.slot = channel.slot;
    entry.record.title = channel.title;
    entry.record.device = channel.device;
    entry.record.chan = channel.chan;
    entry.record.gain = channel.gain;
    entry.record.rate = channel.rate;
    entry.record.acquiredAt = channel.acquiredAt;
  }
  // The default format bounds keep the oldest superblock, which marks no
  // file as open for writing: a recording whose writer was killed opens as
  // it is. Locked as the program's reader locks, so that the program can read
  // the recording as it grows while others wait for its end or its writer's
  // death (the lock goes with the process). The library's own close degree
  // too: the reader's open of the same file fails on any other.
  const Hdf5PropertyList access(H5Pcreate(H5P_FILE_ACCESS));
  const Hdf5PropertyList datasetAccess(H5Pcreate(H5P_DATASET_ACCESS));
  if (!access.valid() || !datasetAccess.valid() || H5Pset_fapl_sec2(access.get()) < 0 ||
      H5Pset_file_locking(access.get(), true, true) < 0 || !KeepMetadataCacheSmall(access.get()) ||
      // Whole chunks go straight to the file rather than through a cache.
      H5Pset_chunk_cache(datasetAccess.get(), H5D_CHUNK_CACHE_NSLOTS_DEFAULT, 0,
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
  if (!hdf5_layout::WriteFileAttributes(state->file.get(), hdf5_layout::kChannelsFormat, reason) ||
      !hdf5_layout::WriteChannels(
          state->file.get(), ViewsOf(records), [] {}, reason)) {
    return fail(std::move(reason));
  }
  for (const SlotRecord& entry : records) {
    State::Channel& channel = state->channels.emplace_back();
    channel.slot = entry.slot;
    const std::string name = "channels/channel_" + std::to_string(entry.slot);
    channel.dataset = Hdf5Dataset(H5Dopen2(state->file.get(), name.c_str(), datasetAccess.get()));
    if (!channel.dataset.valid()) return fail(Hdf5Failure("ouverture de la voie"));
    channel.pending.resize(kChunk);
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

bool Hdf5Recording::Append(std::span<const std::span<const double>> channels, std::string* why) {
  if (state_->status != State::Status::kRecording) return Refused(state_->failure, why);
  const std::size_t length = channels.empty() ? 0 : channels.front().size();
  if (channels.size() != state_->channels.size() ||
      std::any_of(channels.begin(), channels.end(),
                  [length](std::span<const double> v) { return v.size() != length; })) {
    return Refused("chaque voie enregistrée doit recevoir autant d'échantillons que les autres",
                   why);
  }
  const Hdf5Use use;
  return state_->Append(channels) || Refused(state_->failure, why);
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

bool Hdf5Recording::Started(double rate, std::string* why) {
  if (!SetRate(rate, why)) return false;
  return state_->PutInPlace() || Refused(state_->failure, why);
}

bool Hdf5Recording::InPlace() const {
  return state_->inPlace;
}

bool Hdf5Recording::SetRate(double rate, std::string* why) {
  if (state_->status != State::Status::kRecording) return Refused(state_->failure, why);
  if (!(rate > 0.0)) return Refused("la cadence de l'enregistrement n'est pas positive", why);
  const Hdf5Use use;
  const double interval = 1.0 / rate;
  for (const State::Channel& channel : state_->channels) {
    if (!UpdateAttribute(channel.dataset.get(), "rate", H5T_NATIVE_DOUBLE, &rate) ||
        !UpdateAttribute(channel.dataset.get(), "sample_interval", H5T_NATIVE_DOUBLE, &interval)) {
      state_->StopOnLibraryError("cadence de l'enregistrement");
      return Refused(state_->failure, why);
    }
  }
  return true;
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
    channel.dataset.Close();
    channel.pending = std::vector<double>();
  }
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
