#include <sys/statvfs.h>

#include <algorithm>
#include <bit>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/file_writer.h"
#include "files/mat_file.h"
#include "files/mat_file_integrity.h"
#include "files/mat_variables.h"
#include "model/allocation.h"
#include "model/program.h"
#include "text/iso_time.h"
#include "text/system_error_text.h"

namespace tavril {
namespace {

using mat_variables::Variable;

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

// matio copies what these are given.
matvar_t* Scalar(double value) {
  std::size_t dims[2] = {1, 1};
  return Mat_VarCreate(nullptr, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, &value, 0);
}

matvar_t* Chars(std::u16string text) {
  std::size_t dims[2] = {text.empty() ? 0u : 1u, text.size()};
  return Mat_VarCreate(nullptr, MAT_C_CHAR, MAT_T_UINT16, 2, dims, text.data(), 0);
}

std::u16string Ascii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

Variable ChannelStruct(std::span<const SlotView> records) {
  const char* names[mat_variables::kFieldCount + 1] = {};
  std::copy(std::begin(mat_variables::kFieldNames), std::end(mat_variables::kFieldNames), names);
  const std::size_t dims[2] = {1, records.size()};
  Variable channels(Mat_VarCreateStruct2(mat_variables::kStructName, 2, dims, names));
  if (!channels) return nullptr;
  for (std::size_t k = 0; k < records.size(); ++k) {
    const ChannelRecord& record = *records[k].record;
    matvar_t* const fields[] = {
        Scalar(records[k].slot),
        Chars(mat_variables::Windows1252ToUtf16(record.title)),
        Scalar(record.device),
        Scalar(record.chan),
        Scalar(record.gain),
        Scalar(record.rate),
        Scalar(record.count()),
        Chars(u"V"),
        Chars(record.acquiredAt ? Ascii(FormatIsoUtc(*record.acquiredAt)) : u""),
    };
    if (std::find(std::begin(fields), std::end(fields), nullptr) != std::end(fields)) {
      for (matvar_t* field : fields) Mat_VarFree(field);
      return nullptr;
    }
    // The struct owns what it holds and frees it with itself.
    for (std::size_t f = 0; f < mat_variables::kFieldCount; ++f)
      Mat_VarSetStructFieldByIndex(channels.get(), f, k, fields[f]);
  }
  return channels;
}

// A column vector over memory that stays the caller's: matio writes from it
// and never changes it.
bool WriteColumn(mat_t* file, const std::string& name, const double* values, std::size_t count) {
  std::size_t dims[2] = {count, 1};
  Variable column(Mat_VarCreate(name.c_str(), MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims,
                                const_cast<double*>(values), MAT_F_DONT_COPY_DATA));
  return column && Mat_VarWrite(file, column.get(), MAT_COMPRESSION_NONE) == 0;
}

bool SlotsValid(std::span<const SlotView> records) {
  bool seen[kChannelCount] = {};
  for (const SlotView& view : records) {
    if (view.slot < 0 || view.slot >= kChannelCount || seen[view.slot] || view.record == nullptr)
      return false;
    seen[view.slot] = true;
  }
  return true;
}

// Writes every variable; false when matio reports a failure.
bool WriteVariables(mat_t* file, std::span<const SlotView> records, double* times,
                    AtomicFileWriter& writer) {
  Variable channels = ChannelStruct(records);
  if (!channels || Mat_VarWrite(file, channels.get(), MAT_COMPRESSION_NONE) != 0) return false;
  std::size_t timesHeld = 0;
  std::uint64_t timesRate = 0;
  for (const SlotView& view : records) {
    const ChannelRecord& record = *view.record;
    const std::size_t count = record.sampleCount();
    // Channels of one rate share the times computed for the first of them.
    const std::uint64_t rate = std::bit_cast<std::uint64_t>(record.rate);
    if (timesRate != rate || timesHeld < count) {
      for (std::size_t i = 0; i < count; ++i) times[i] = static_cast<double>(i) / record.rate;
      timesHeld = count;
      timesRate = rate;
    }
    if (!WriteColumn(file, mat_variables::TimeName(view.slot), times, count) ||
        !WriteColumn(file, mat_variables::SampleName(view.slot), record.samples().data(), count)) {
      return false;
    }
    // matio writes each vector in one call.
    writer.ReleaseHandedOverPages(true);
  }
  return true;
}

// matio goes on past a failed write and reports success: every variable must
// be in the file, each element large enough for its values.
bool AllWritten(const std::filesystem::path& file, std::span<const SlotView> records) {
  const std::optional<std::vector<std::uint64_t>> sizes = Mat5ElementSizes(file);
  if (!sizes || sizes->size() != 1 + 2 * records.size()) return false;
  for (std::size_t k = 0; k < records.size(); ++k) {
    const std::uint64_t bytes = records[k].record->sampleCount() * sizeof(double);
    if ((*sizes)[1 + 2 * k] < bytes || (*sizes)[2 + 2 * k] < bytes) return false;
  }
  return true;
}

// HDF5 1.10 cannot close a file whose writes failed: it keeps it half closed
// and crashes when the program ends. A full disk, the usual cause, is
// therefore found before a version 7.3 file is begun.
bool RoomFor(const std::filesystem::path& file, std::span<const SlotView> records) {
  std::uint64_t bytes = std::uint64_t{1} << 20;  // the struct and HDF5's own data
  for (const SlotView& view : records) bytes += 2 * sizeof(double) * view.record->sampleCount();
  struct statvfs disk {};
  return ::statvfs(file.parent_path().empty() ? "." : file.parent_path().c_str(), &disk) != 0 ||
         static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize >= bytes;
}

}  // namespace

namespace mat_detail {

bool WriteMatFile(std::span<const SlotView> records, const std::filesystem::path& path,
                  std::string* why, std::uint64_t mat5MaxVariableBytes) {
  if (records.empty()) return Fail(why, "aucun canal à exporter");
  if (!SlotsValid(records)) return Fail(why, "canaux à exporter en double ou hors de 0 à 7");
  std::size_t longest = 0;
  for (const SlotView& view : records) longest = std::max(longest, view.record->sampleCount());
  const bool hdf5 = longest > mat5MaxVariableBytes / sizeof(double);
  std::unique_ptr<double[]> times;
  if (!AllocateScratch(times, std::max<std::size_t>(longest, 1)))
    return Fail(
        why, "la mémoire ne peut pas contenir les temps de " + std::to_string(longest) + " points");

  AtomicFileWriter writer;
  if (!writer.Open(path))
    return Fail(why, "impossible de créer le fichier (" + SystemErrorText(writer.Error()) + ")");
  const std::filesystem::path written = writer.HandOverPath();
  if (hdf5 && !RoomFor(written, records))
    return Fail(why, "disque plein : pas assez de place libre pour ce fichier");
  mat_variables::SilenceMatioLog();
  const std::string header =
      std::string("MATLAB 5.0 MAT-file, Platform: GLNXA64, Created by: ") + kProgramName;
  mat_t* file = Mat_CreateVer(written.c_str(), header.c_str(), hdf5 ? MAT_FT_MAT73 : MAT_FT_MAT5);
  if (file == nullptr) {
    // A matio built without HDF5 creates version 5 files only.
    mat_t* probe = hdf5 ? Mat_CreateVer(written.c_str(), header.c_str(), MAT_FT_MAT5) : nullptr;
    if (probe != nullptr) {
      Mat_Close(probe);
      return Fail(why,
                  "une variable dépasse 2 Go, ce qui demande un fichier MATLAB 7.3, que la "
                  "bibliothèque matio installée ne sait pas écrire (construite sans HDF5)");
    }
    return Fail(why, "impossible de créer le fichier MATLAB");
  }
  const bool wrote = WriteVariables(file, records, times.get(), writer);
  const bool closed = Mat_Close(file) == 0;
  if (!wrote || !closed) return Fail(why, "échec de l'écriture du fichier MATLAB");
  if (!hdf5 && !AllWritten(written, records))
    return Fail(why, "le fichier écrit est incomplet (disque plein ou erreur d'écriture)");
  if (!writer.Commit())
    return Fail(why,
                "impossible d'enregistrer le fichier (" + SystemErrorText(writer.Error()) + ")");
  return true;
}

}  // namespace mat_detail

bool WriteMatFile(std::span<const SlotView> records, const std::filesystem::path& path,
                  std::string* why) {
  return mat_detail::WriteMatFile(records, path, why, mat_detail::kMat5MaxVariableBytes);
}

}  // namespace tavril
