#include "files/hdf5_layout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <future>
#include <limits>
#include <span>
#include <system_error>
#include <vector>

#include "files/file_writer.h"
#include "files/hdf5_attributes.h"
#include "files/samples_memory.h"
#include "model/allocation.h"
#include "model/program.h"
#include "text/iso_time.h"
#include "text/system_error_text.h"
#include "text/text_encoding.h"

namespace tavril::hdf5_layout {
namespace {

constexpr const char* kChannelsGroup = "channels";
// What a reader accepts from another writer's chunking before allocating a chunk.
constexpr hsize_t kMaxChunkBytes = hsize_t{64} << 20;
constexpr std::size_t kMaxFormatBytes = 64;
// A title of kMaxTitleBytes Windows-1252 bytes takes up to three times that in UTF-8.
constexpr std::size_t kMaxTitleUtf8Bytes = 3 * kMaxTitleBytes;
constexpr std::size_t kMaxTimeBytes = 64;
constexpr std::size_t kMaxLinkNameBytes = 255;

// A name from the file, shown in a message on one line.
std::string Shown(std::string_view name) {
  std::string shown;
  for (const char c : name.substr(0, 60)) {
    shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  }
  return name.size() > 60 ? shown + "…" : shown;
}

std::string DatasetPath(std::string_view name) {
  return std::string("/") + kChannelsGroup + "/" + Shown(name);
}

// Property lists that leave the creation times out, so that the same records
// always give the same bytes.
Hdf5PropertyList UntimedCreation(hid_t listClass) {
  Hdf5PropertyList list(H5Pcreate(listClass));
  if (list.valid() && H5Pset_obj_track_times(list.get(), false) < 0) return {};
  return list;
}

bool WriteRecord(hid_t group, const SlotView& view, std::string& why) {
  const ChannelRecord& record = *view.record;
  const std::string name = "channel_" + std::to_string(view.slot);
  const hsize_t length = record.sampleCount();
  const hsize_t unlimited = H5S_UNLIMITED;
  const hsize_t chunk = length == 0 ? kChunkValues : std::min(length, kChunkValues);
  const Hdf5Dataspace space(H5Screate_simple(1, &length, &unlimited));
  Hdf5PropertyList creation = UntimedCreation(H5P_DATASET_CREATE);
  // Chunks go straight to the file rather than through the library's cache.
  const Hdf5PropertyList access(H5Pcreate(H5P_DATASET_ACCESS));
  if (!space.valid() || !creation.valid() || !access.valid() ||
      H5Pset_chunk(creation.get(), 1, &chunk) < 0 ||
      H5Pset_chunk_cache(access.get(), H5D_CHUNK_CACHE_NSLOTS_DEFAULT, 0,
                         H5D_CHUNK_CACHE_W0_DEFAULT) < 0) {
    why = Hdf5Failure("préparation de la voie " + std::to_string(view.slot));
    return false;
  }
  const Hdf5Dataset dataset(H5Dcreate2(group, name.c_str(), H5T_IEEE_F64LE, space.get(),
                                       H5P_DEFAULT, creation.get(), access.get()));
  if (!dataset.valid()) {
    why = Hdf5Failure("création de la voie " + std::to_string(view.slot));
    return false;
  }
  if (length > 0 && H5Dwrite(dataset.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT,
                             record.samples().data()) < 0) {
    why = Hdf5Failure("écriture des valeurs de la voie " + std::to_string(view.slot));
    return false;
  }
  const std::int64_t count =
      HoldsSamples(record) ? static_cast<std::int64_t>(length) : record.count();
  Hdf5AttributeWriter attributes(dataset.get());
  attributes.Integer("slot", H5T_STD_I32LE, view.slot)
      .Utf8("title", Windows1252ToUtf8(record.title))
      .Integer("device", H5T_STD_I16LE, record.device)
      .Integer("chan", H5T_STD_I16LE, record.chan)
      .Integer("gain", H5T_STD_I16LE, record.gain)
      .Integer("count", H5T_STD_U32LE, count)
      .Double("rate", record.rate)
      .Utf8("unit", "V")
      .Utf8("time_unit", "s")
      .Double("sample_interval", 1.0 / record.rate)
      .Integer("max_index", H5T_STD_U32LE, record.statistics().maxIndex)
      .Double("max_value", record.statistics().maxValue)
      .Integer("min_index", H5T_STD_U32LE, record.statistics().minIndex)
      .Double("min_value", record.statistics().minValue)
      .Double("mean", record.statistics().mean);
  if (record.acquiredAt) attributes.Utf8("acquired_at", FormatIsoUtc(*record.acquiredAt));
  if (!attributes.ok()) {
    why = "voie " + std::to_string(view.slot) + " : " + attributes.why();
    return false;
  }
  return true;
}

// Refuses a file that open(2) cannot read, or that is not a regular file, with
// the system's reason; the library would only say it cannot open it.
bool CheckReadable(const std::filesystem::path& path, std::string& why) {
  // Non-blocking: a named pipe must not hang the program.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    why = "impossible de l'ouvrir (" + SystemErrorText(errno) + ")";
    return false;
  }
  struct stat info {};
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  ::close(fd);
  if (!regular) {
    why =
        "impossible de l'ouvrir (" + SystemErrorText(S_ISDIR(info.st_mode) ? EISDIR : EINVAL) + ")";
  }
  return regular;
}

// Reads the `length` samples of a one-dimensional dataset a block at a time
// into one buffer, keeping none.
bool ReadThrough(hid_t dataset, const std::string& where, hsize_t length, std::string& why) {
  constexpr hsize_t kBlock = hsize_t{1} << 17;  // 1 MiB of samples
  std::vector<double> buffer(static_cast<std::size_t>(std::min(length, kBlock)));
  const Hdf5Dataspace file(H5Dget_space(dataset));
  for (hsize_t start = 0; start < length; start += kBlock) {
    const hsize_t size = std::min(kBlock, length - start);
    const Hdf5Dataspace memory(H5Screate_simple(1, &size, nullptr));
    if (!file.valid() || !memory.valid() ||
        H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, &start, nullptr, &size, nullptr) < 0 ||
        H5Dread(dataset, H5T_NATIVE_DOUBLE, memory.get(), file.get(), H5P_DEFAULT, buffer.data()) <
            0) {
      why = Hdf5Failure("lecture des valeurs de " + where);
      return false;
    }
  }
  return true;
}

// Where an unfiltered dataset keeps its samples, checked without reading
// them: every chunk, found through the chunk index as a read finds it, or
// the contiguous block must be whole, of the size its values need, inside
// the file. Reading such samples is then a plain copy of bytes the
// library has located; it is the index and the other metadata that libhdf5
// does not survive when damaged. A filtered dataset is read through instead.
bool CheckStorage(hid_t dataset, const std::string& where, hsize_t length, H5D_layout_t layout,
                  hsize_t chunk, std::string& why) {
  const Hdf5File file(H5Iget_file_id(dataset));
  hsize_t fileSize = 0;
  if (!file.valid() || H5Fget_filesize(file.get(), &fileSize) < 0) {
    why = Hdf5Failure("lecture de " + where);
    return false;
  }
  const auto inFile = [fileSize](haddr_t address, hsize_t bytes) {
    return address != HADDR_UNDEF && address <= fileSize && bytes <= fileSize - address;
  };
  const std::string damaged = where + " : l'emplacement de ses valeurs est endommagé";
  if (H5Dget_storage_size(dataset) == 0) return true;
  if (layout == H5D_CONTIGUOUS) {
    if (!inFile(H5Dget_offset(dataset), length * sizeof(double))) {
      why = damaged;
      return false;
    }
    return true;
  }
  // Each chunk is looked up where a read looks it up; one never written reads
  // as the fill value.
  for (hsize_t offset = 0; offset < length; offset += chunk) {
    unsigned filters = 0;
    haddr_t address = HADDR_UNDEF;
    hsize_t bytes = 0;
    if (H5Dget_chunk_info_by_coord(dataset, &offset, &filters, &address, &bytes) < 0 ||
        (address != HADDR_UNDEF && (bytes != chunk * sizeof(double) || !inFile(address, bytes)))) {
      why = damaged;
      return false;
    }
  }
  return true;
}

// The dataset's samples into `samples`, once its type, shape, length and
// chunks are known to be what this layout allows.
bool ReadSamples(hid_t dataset, const std::string& where, std::uint32_t count,
                 const ReadOptions& options, int slot, std::vector<double>& samples,
                 std::string& why) {
  const Hdf5Type type(H5Dget_type(dataset));
  const Hdf5Dataspace space(H5Dget_space(dataset));
  const Hdf5PropertyList creation(H5Dget_create_plist(dataset));
  if (!type.valid() || !space.valid() || !creation.valid()) {
    why = Hdf5Failure("lecture de " + where);
    return false;
  }
  if (H5Tget_class(type.get()) != H5T_FLOAT ||
      (H5Tequal(type.get(), H5T_IEEE_F64LE) <= 0 && H5Tequal(type.get(), H5T_IEEE_F64BE) <= 0)) {
    why = where + " ne contient pas des nombres à virgule flottante de 64 bits (float64)";
    return false;
  }
  hsize_t length = 0;
  if (H5Sget_simple_extent_type(space.get()) != H5S_SIMPLE ||
      H5Sget_simple_extent_ndims(space.get()) != 1 ||
      H5Sget_simple_extent_dims(space.get(), &length, nullptr) != 1) {
    why = where + " n'est pas un tableau à une dimension";
    return false;
  }
  if (length == 0) return true;  // a record without samples
  if (length != count) {
    why = where + " contient " + std::to_string(length) +
          " valeurs alors que son attribut « count » en annonce " + std::to_string(count);
    return false;
  }
  // A virtual dataset or external storage would read other files, by names
  // the file gives.
  const int layout = H5Pget_layout(creation.get());  // a number: the file may say anything
  if ((layout != H5D_CONTIGUOUS && layout != H5D_CHUNKED && layout != H5D_COMPACT) ||
      H5Pget_external_count(creation.get()) != 0) {
    why = where + " garde ses valeurs hors du fichier ou d'une façon inattendue";
    return false;
  }
  hsize_t chunk = 0;
  if (layout == H5D_CHUNKED) {
    if (H5Pget_chunk(creation.get(), 1, &chunk) != 1 || chunk == 0 ||
        chunk > kMaxChunkBytes / sizeof(double)) {
      why = where + " est découpé en morceaux de taille inattendue";
      return false;
    }
  }
  if (options.checkOnly) {
    const int filters = H5Pget_nfilters(creation.get());
    if (filters == 0 && layout != H5D_COMPACT)
      return CheckStorage(dataset, where, length, static_cast<H5D_layout_t>(layout), chunk, why);
    return ReadThrough(dataset, where, length, why);
  }
  std::vector<double> read;
  std::vector<double>* reuse = options.reuse != nullptr ? &(*options.reuse)[slot] : nullptr;
  if (reuse != nullptr && reuse->capacity() >= length) {
    read = std::move(*reuse);
    read.resize(length);
  } else if (!AllocateZeroed(read, length)) {
    why = "la mémoire ne peut pas contenir les " + std::to_string(length) + " valeurs de " + where;
    return false;
  }
  if (H5Dread(dataset, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, read.data()) < 0) {
    why = Hdf5Failure("lecture des valeurs de " + where);
    return false;
  }
  samples = std::move(read);
  return true;
}

// The statistics of `samples`, computed on a thread of their own while the
// next record is read (here when no thread can be had).
std::future<ChannelStatistics> StatisticsAside(std::span<const double> samples) {
  try {
    return std::async(std::launch::async, ComputeStatistics, samples);
  } catch (const std::system_error&) {
    std::promise<ChannelStatistics> computed;
    computed.set_value(ComputeStatistics(samples));
    return computed.get_future();
  }
}

// One dataset of /channels into `entry`, but for its samples, which go to
// `samples` (the caller computes their statistics aside); a record without
// samples takes its statistics here.
bool ReadRecord(hid_t group, const std::string& name, const ReadOptions& options, SlotRecord& entry,
                std::vector<double>& samples, std::string& why) {
  const std::string where = DatasetPath(name);
  H5L_info_t link{};
  if (H5Lget_info(group, name.c_str(), &link, H5P_DEFAULT) < 0) {
    why = Hdf5Failure("lecture de " + where);
    return false;
  }
  if (link.type != H5L_TYPE_HARD) {
    why = where + " est un lien vers un autre objet, pas un jeu de données";
    return false;
  }
  const Hdf5Object dataset(H5Oopen(group, name.c_str(), H5P_DEFAULT));
  if (!dataset.valid()) {
    why = Hdf5Failure("lecture de " + where);
    return false;
  }
  if (H5Iget_type(dataset.get()) != H5I_DATASET) {
    why = where + " n'est pas un jeu de données";
    return false;
  }
  Hdf5AttributeReader attributes(dataset.get(), "de " + where);
  std::int64_t slot = 0, device = 0, chan = 0, gain = 0, count = 0;
  ChannelRecord& record = entry.record;
  std::string title;
  constexpr std::int64_t kInt16Min = std::numeric_limits<std::int16_t>::min();
  constexpr std::int64_t kInt16Max = std::numeric_limits<std::int16_t>::max();
  constexpr std::int64_t kUint32Max = std::numeric_limits<std::uint32_t>::max();
  bool ok = attributes.Integer("slot", 0, kChannelCount - 1, slot) &&
            attributes.String("title", kMaxTitleUtf8Bytes, title) &&
            attributes.Integer("device", kInt16Min, kInt16Max, device) &&
            attributes.Integer("chan", kInt16Min, kInt16Max, chan) &&
            attributes.Integer("gain", kInt16Min, kInt16Max, gain) &&
            attributes.Integer("count", 0, kUint32Max, count) &&
            attributes.Double("rate", record.rate);
  std::string time;
  if (ok && attributes.Has("acquired_at")) {
    ok = attributes.String("acquired_at", kMaxTimeBytes, time);
    record.acquiredAt = ParseIsoUtc(time);
    if (ok && !record.acquiredAt) {
      why = "l'attribut « acquired_at » de " + where +
            " n'est pas une date ISO 8601 en UTC (AAAA-MM-JJTHH:MM:SSZ)";
      return false;
    }
  }
  if (!ok) {
    why = attributes.why();
    return false;
  }
  record.title = Utf8ToWindows1252(title);
  if (record.title.size() > kMaxTitleBytes) {
    why = "le titre de " + where + " dépasse " + std::to_string(kMaxTitleBytes) + " caractères";
    return false;
  }
  entry.slot = static_cast<int>(slot);
  record.device = static_cast<std::int16_t>(device);
  record.chan = static_cast<std::int16_t>(chan);
  record.gain = static_cast<std::int16_t>(gain);
  record.SetCount(static_cast<std::uint32_t>(count));
  if (!ReadSamples(dataset.get(), where, record.count(), options, entry.slot, samples, why)) {
    return false;
  }
  if (!samples.empty() || !options.storedStatistics) return true;
  ChannelStatistics stored;
  std::int64_t maxIndex = 0, minIndex = 0;
  ok = attributes.Integer("max_index", 0, kUint32Max, maxIndex) &&
       attributes.Double("max_value", stored.maxValue) &&
       attributes.Integer("min_index", 0, kUint32Max, minIndex) &&
       attributes.Double("min_value", stored.minValue) && attributes.Double("mean", stored.mean);
  if (!ok) {
    why = attributes.why();
    return false;
  }
  stored.maxIndex = static_cast<std::uint32_t>(maxIndex);
  stored.minIndex = static_cast<std::uint32_t>(minIndex);
  record.KeepStatistics(stored);
  return true;
}

// The name of the link at `index` of `group`, in name order.
bool LinkName(hid_t group, hsize_t index, std::string& name, std::string& why) {
  const ssize_t size =
      H5Lget_name_by_idx(group, ".", H5_INDEX_NAME, H5_ITER_INC, index, nullptr, 0, H5P_DEFAULT);
  if (size < 0) {
    why = Hdf5Failure("lecture du contenu de /channels");
    return false;
  }
  if (size == 0 || static_cast<std::size_t>(size) > kMaxLinkNameBytes) {
    why = "/channels contient un objet au nom vide ou trop long";
    return false;
  }
  std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
  if (H5Lget_name_by_idx(group, ".", H5_INDEX_NAME, H5_ITER_INC, index, buffer.data(),
                         buffer.size(), H5P_DEFAULT) != size) {
    why = Hdf5Failure("lecture du contenu de /channels");
    return false;
  }
  name.assign(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
  return true;
}

// The samples the datasets of /channels would take in new memory: those a
// slot's reused memory cannot hold. A link or dataset that the layout does
// not allow counts nothing here; reading it refuses it.
std::uint64_t NewSampleValues(hid_t group, hsize_t links, const ReadOptions& options) {
  std::uint64_t total = 0;
  for (hsize_t index = 0; index < links; ++index) {
    std::string name;
    std::string ignored;
    H5L_info_t link{};
    if (!LinkName(group, index, name, ignored) ||
        H5Lget_info(group, name.c_str(), &link, H5P_DEFAULT) < 0 || link.type != H5L_TYPE_HARD) {
      continue;
    }
    const Hdf5Object dataset(H5Oopen(group, name.c_str(), H5P_DEFAULT));
    if (!dataset.valid() || H5Iget_type(dataset.get()) != H5I_DATASET) continue;
    const Hdf5Dataspace space(H5Dget_space(dataset.get()));
    hsize_t length = 0;
    if (!space.valid() || H5Sget_simple_extent_ndims(space.get()) != 1 ||
        H5Sget_simple_extent_dims(space.get(), &length, nullptr) != 1 ||
        length > std::numeric_limits<std::uint32_t>::max()) {
      continue;
    }
    if (options.reuse != nullptr) {
      Hdf5AttributeReader attributes(dataset.get(), {});
      std::int64_t slot = 0;
      if (attributes.Integer("slot", 0, kChannelCount - 1, slot) &&
          (*options.reuse)[static_cast<std::size_t>(slot)].capacity() >= length) {
        continue;
      }
    }
    total += length;
  }
  return total;
}

}  // namespace

bool WriteFileAttributes(hid_t file, const char* format, std::string& why, int version) {
  Hdf5AttributeWriter attributes(file);
  attributes.Utf8("creator", kProgramName)
      .Utf8("format", format)
      .Integer("format_version", H5T_STD_I32LE, version);
  if (!attributes.ok()) why = attributes.why();
  return attributes.ok();
}

bool WriteFile(const std::filesystem::path& path, const char* format, const WriteBody& body,
               std::string& why) {
  AtomicFileWriter writer;
  if (!writer.Open(path)) {
    why = "impossible de créer le fichier (" + SystemErrorText(writer.Error()) + ")";
    return false;
  }
  const std::filesystem::path written = writer.HandOverPath();
  {
    // Closing fails, rather than leaving the file open, while an object of it
    // is still open: the file is complete on disk once closed.
    const Hdf5PropertyList access(H5Pcreate(H5P_FILE_ACCESS));
    if (!access.valid() || H5Pset_fclose_degree(access.get(), H5F_CLOSE_SEMI) < 0 ||
        H5Pset_file_locking(access.get(), false, true) < 0) {
      why = Hdf5Failure("préparation du fichier");
      return false;
    }
    Hdf5File file(H5Fcreate(written.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access.get()));
    if (!file.valid()) {
      why = Hdf5Failure("création du fichier");
      return false;
    }
    if (!WriteFileAttributes(file.get(), format, why)) return false;
    if (!body(
            file.get(), [&writer] { writer.ReleaseHandedOverPages(false); }, why))
      return false;
    if (!file.Close()) {
      why = Hdf5Failure("écriture du fichier");
      return false;
    }
  }
  if (!writer.Commit()) {
    why = "impossible d'écrire le fichier (" + SystemErrorText(writer.Error()) + ")";
    return false;
  }
  return true;
}

bool OpenFile(const std::filesystem::path& path, const char* format, Hdf5File& file,
              std::string& why) {
  std::string found;
  Hdf5File opened;
  if (!OpenAnyFile(path, opened, found, why)) return false;
  if (found != format) {
    if (found == kSessionFormat) {
      why = "c'est un fichier de session TAVRIL : ouvrez-le comme une session";
    } else if (found == kChannelsFormat || found == kRecordingFormat) {
      why = "c'est un fichier de voies TAVRIL, pas une session : importez-le comme des voies";
    } else {
      why = "ce n'est pas un fichier écrit par TAVRIL (format « " + Shown(found) + " »)";
    }
    return false;
  }
  file = std::move(opened);
  return true;
}

bool OpenAnyFile(const std::filesystem::path& path, Hdf5File& file, std::string& format,
                 std::string& why) {
  if (!CheckReadable(path, why)) return false;
  const htri_t isHdf5 = H5Fis_hdf5(path.c_str());
  if (isHdf5 <= 0) {
    why = isHdf5 == 0 ? "ce n'est pas un fichier HDF5" : Hdf5Failure("ouverture du fichier");
    return false;
  }
  // Whole records are read at once: chunks go straight into the samples
  // rather than through the library's chunk cache and a copy.
  const Hdf5PropertyList access(H5Pcreate(H5P_FILE_ACCESS));
  if (!access.valid() || H5Pset_file_locking(access.get(), true, true) < 0 ||
      H5Pset_cache(access.get(), 0, 521, 0, 0.75) < 0) {
    why = Hdf5Failure("préparation de la lecture");
    return false;
  }
  Hdf5File opened(H5Fopen(path.c_str(), H5F_ACC_RDONLY, access.get()));
  if (!opened.valid()) {
    why = Hdf5Failure("ouverture du fichier HDF5");
    return false;
  }
  Hdf5AttributeReader attributes(opened.get(), "du fichier");
  std::string found;
  if (!attributes.String("format", kMaxFormatBytes, found)) {
    why = attributes.why() + " : ce n'est pas un fichier écrit par TAVRIL";
    return false;
  }
  const int known = found == kRecordingFormat ? kRecordingVersion : kFormatVersion;
  if (found != kSessionFormat && found != kChannelsFormat && found != kRecordingFormat &&
      found != kOverviewFormat) {
    why = "ce n'est pas un fichier écrit par TAVRIL (format « " + Shown(found) + " »)";
    return false;
  }
  std::int64_t version = 0;
  if (!attributes.Integer("format_version", std::numeric_limits<std::int64_t>::min(),
                          std::numeric_limits<std::int64_t>::max(), version)) {
    why = attributes.why();
    return false;
  }
  if (version != known) {
    why = "version " + std::to_string(version) + " du format « " + found +
          " » : ce programme lit la version " + std::to_string(known);
    return false;
  }
  format = std::move(found);
  file = std::move(opened);
  return true;
}

bool WriteChannels(hid_t file, std::span<const SlotView> records,
                   const std::function<void()>& written, std::string& why) {
  const Hdf5PropertyList creation = UntimedCreation(H5P_GROUP_CREATE);
  const Hdf5Group group(
      creation.valid() ? H5Gcreate2(file, kChannelsGroup, H5P_DEFAULT, creation.get(), H5P_DEFAULT)
                       : H5I_INVALID_HID);
  if (!group.valid()) {
    why = Hdf5Failure("création du groupe /channels");
    return false;
  }
  for (const SlotView& view : records) {
    if (view.record == nullptr || view.slot < 0 || view.slot >= kChannelCount) {
      why = "voie " + std::to_string(view.slot) + " : pas une voie de la table (0 à 7)";
      return false;
    }
    if (!WriteRecord(group.get(), view, why)) return false;
    written();
  }
  return true;
}

bool ReadChannels(hid_t file, const ReadOptions& options, ChannelSet& records, std::string& why) {
  const htri_t exists = H5Lexists(file, kChannelsGroup, H5P_DEFAULT);
  if (exists <= 0) {
    why = exists == 0 ? "le groupe /channels manque" : Hdf5Failure("lecture de /channels");
    return false;
  }
  const Hdf5Group group(H5Gopen2(file, kChannelsGroup, H5P_DEFAULT));
  H5G_info_t info{};
  if (!group.valid() || H5Gget_info(group.get(), &info) < 0) {
    why = Hdf5Failure("/channels n'est pas un groupe lisible");
    return false;
  }
  if (info.nlinks > static_cast<hsize_t>(kChannelCount)) {
    why = "/channels contient " + std::to_string(info.nlinks) + " objets, plus que les " +
          std::to_string(kChannelCount) + " voies de la table";
    return false;
  }
  if (!options.checkOnly) {
    const std::uint64_t values = NewSampleValues(group.get(), info.nlinks, options);
    if (!SamplesFitInMemory(values)) {
      why = SamplesMemoryRefusal(values);
      return false;
    }
  }
  ChannelSet read;
  std::vector<std::vector<double>> samples;
  // After `samples`, so that the threads end before the samples they read go.
  std::vector<std::future<ChannelStatistics>> statistics;
  std::array<std::string, kChannelCount> names;
  for (hsize_t index = 0; index < info.nlinks; ++index) {
    std::string name;
    SlotRecord entry;
    std::vector<double> values;
    if (!LinkName(group.get(), index, name, why) ||
        !ReadRecord(group.get(), name, options, entry, values, why)) {
      return false;
    }
    std::string& first = names[static_cast<std::size_t>(entry.slot)];
    if (!first.empty()) {
      why = "la voie " + std::to_string(entry.slot) + " figure deux fois (" + DatasetPath(first) +
            " et " + DatasetPath(name) + ")";
      return false;
    }
    first = name;
    // The samples' memory stays where it is when the vector moves.
    statistics.push_back(values.empty() ? std::future<ChannelStatistics>()
                                        : StatisticsAside(values));
    samples.push_back(std::move(values));
    read.push_back(std::move(entry));
  }
  for (std::size_t k = 0; k < read.size(); ++k) {
    if (statistics[k].valid()) read[k].record.TakeSamples(samples[k], statistics[k].get());
  }
  std::sort(read.begin(), read.end(),
            [](const SlotRecord& a, const SlotRecord& b) { return a.slot < b.slot; });
  records = std::move(read);
  return true;
}

}  // namespace tavril::hdf5_layout
