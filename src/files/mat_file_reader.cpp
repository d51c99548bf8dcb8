#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/isolated_check.h"
#include "files/mat_file.h"
#include "files/mat_file_integrity.h"
#include "files/mat_variables.h"
#include "files/samples_memory.h"
#include "model/allocation.h"
#include "text/iso_time.h"
#include "text/system_error_text.h"
#include "text/text_encoding.h"

namespace tavril {
namespace {

using mat_variables::Variable;

// A refusal: what is wrong, in French.
struct Refusal {
  std::string text;
};

std::string Quoted(std::string_view name) {
  return "« " + std::string(name) + " »";
}

// SIZE_MAX for dimensions whose product overflows.
std::size_t Elements(const matvar_t& variable) {
  if (variable.rank <= 0 || variable.dims == nullptr) return 0;
  std::size_t count = 1;
  for (int d = 0; d < variable.rank; ++d) {
    if (__builtin_mul_overflow(count, variable.dims[d], &count)) return SIZE_MAX;
  }
  return count;
}

// A vector or an empty array: every dimension but one is 1, or one is 0.
bool IsVector(const matvar_t& variable) {
  int longer = 0;
  for (int d = 0; d < variable.rank; ++d) {
    if (variable.dims[d] == 0) return true;
    if (variable.dims[d] != 1) ++longer;
  }
  return variable.rank == 2 && longer <= 1;
}

// One element of `channels`, read field by field.
class ChannelFields {
 public:
  ChannelFields(matvar_t* channels, std::size_t index) : channels_(channels), index_(index) {}

  double Number(const char* name) const {
    const matvar_t* field = Field(name);
    if (field->class_type != MAT_C_DOUBLE || field->data_type != MAT_T_DOUBLE || field->isComplex ||
        Elements(*field) != 1 || field->data == nullptr) {
      throw Refused(name, "n'est pas un nombre");
    }
    return *static_cast<const double*>(field->data);
  }

  // A whole number from `low` to `high`.
  std::int64_t Whole(const char* name, double low, double high) const {
    const double value = Number(name);
    if (!(value >= low && value <= high) || std::trunc(value) != value)
      throw Refused(name, "n'est pas un entier de " + Integer(low) + " à " + Integer(high));
    return static_cast<std::int64_t>(value);
  }

  // A char row, as Windows-1252 bytes.
  std::string Text(const char* name) const {
    const matvar_t* field = Field(name);
    const std::size_t count = Elements(*field);
    if (field->class_type != MAT_C_CHAR || !IsVector(*field) || field->dims[0] > 1 ||
        (count > 0 && field->data == nullptr)) {
      throw Refused(name, "n'est pas une ligne de caractères");
    }
    if (count == 0) return {};
    switch (field->data_type) {
      case MAT_T_UINT16:
      case MAT_T_UTF16:
        return mat_variables::Utf16ToWindows1252(
            std::u16string_view(static_cast<const char16_t*>(field->data), count));
      case MAT_T_UINT8:
      case MAT_T_UTF8:
        // Octave's characters are UTF-8 bytes.
        return Utf8ToWindows1252(std::string_view(static_cast<const char*>(field->data), count));
      default:
        throw Refused(name, "n'est pas une ligne de caractères");
    }
  }

  Refusal Refused(const char* name, const std::string& why) const {
    return {"le champ " + Quoted(name) + " de l'élément " + std::to_string(index_ + 1) + " de " +
            Quoted(mat_variables::kStructName) + " " + why};
  }

 private:
  const matvar_t* Field(const char* name) const {
    const matvar_t* field = Mat_VarGetStructFieldByName(channels_, name, index_);
    if (field == nullptr) throw Refused(name, "manque");
    return field;
  }

  static std::string Integer(double value) {
    return std::to_string(static_cast<std::int64_t>(value));
  }

  matvar_t* channels_;
  std::size_t index_;
};

SlotRecord ReadChannel(matvar_t* channels, std::size_t index) {
  const ChannelFields fields(channels, index);
  SlotRecord entry;
  entry.slot = static_cast<int>(fields.Whole("slot", 0, kChannelCount - 1));
  ChannelRecord& record = entry.record;
  record.title = fields.Text("title");
  if (record.title.size() > kMaxTitleBytes || record.title.find('\0') != std::string::npos)
    throw fields.Refused("title", "dépasse 255 caractères ou contient un caractère nul");
  record.device = static_cast<std::int16_t>(fields.Whole("device", INT16_MIN, INT16_MAX));
  record.chan = static_cast<std::int16_t>(fields.Whole("chan", INT16_MIN, INT16_MAX));
  record.gain = static_cast<std::int16_t>(fields.Whole("gain", INT16_MIN, INT16_MAX));
  record.rate = fields.Number("rate");
  record.SetCount(static_cast<std::uint32_t>(fields.Whole("count", 0, UINT32_MAX)));
  if (fields.Text("unit") != "V") throw fields.Refused("unit", "n'est pas 'V'");
  const std::string acquired = fields.Text("acquired");
  if (!acquired.empty()) {
    record.acquiredAt = ParseIsoUtc(acquired);
    if (!record.acquiredAt) throw fields.Refused("acquired", "n'est pas une date ISO 8601 en UTC");
  }
  return entry;
}

class Reader {
 public:
  // With `checkOnly`, every sample is read, a block at a time through one
  // small buffer, and none is kept.
  Reader(mat_t* file, bool version5, std::uint64_t fileBytes, bool checkOnly)
      : file_(file), version5_(version5), fileBytes_(fileBytes), checkOnly_(checkOnly) {}

  ChannelSet Read() {
    ChannelSet set = ReadChannels();
    std::sort(set.begin(), set.end(),
              [](const SlotRecord& a, const SlotRecord& b) { return a.slot < b.slot; });
    for (std::size_t k = 1; k < set.size(); ++k) {
      if (set[k].slot == set[k - 1].slot)
        throw Refusal{"le canal " + std::to_string(set[k].slot) + " y figure deux fois"};
    }
    if (!checkOnly_) CheckMemory(set);
    for (SlotRecord& entry : set) ReadSamples(entry);
    return set;
  }

 private:
  // What the file says of a variable, without its data.
  Variable Info(const std::string& name) {
    Variable info(Mat_VarReadInfo(file_, name.c_str()));
    if (!info)
      throw Refusal{"la variable " + Quoted(name) + " manque : ce n'est pas un fichier de TAVRIL"};
    if (version5_ && info->compression != MAT_COMPRESSION_NONE) {
      throw Refusal{"la variable " + Quoted(name) +
                    " est compressée ; enregistrez-la avec save -v6 ou -v7.3"};
    }
    return info;
  }

  ChannelSet ReadChannels() {
    const std::string name = mat_variables::kStructName;
    const Variable info = Info(name);
    const std::size_t count = Elements(*info);
    if (info->class_type != MAT_C_STRUCT || !IsVector(*info) || count == 0 ||
        count > kChannelCount) {
      throw Refusal{"la variable " + Quoted(name) + " n'est pas un tableau de 1 à 8 structures"};
    }
    // The fields are small; a file that says otherwise is refused before
    // matio reads them.
    const std::size_t fieldCount = Mat_VarGetNumberOfFields(info.get());
    if (fieldCount > 0 && info->data == nullptr)
      throw Refusal{"la variable " + Quoted(name) + " est illisible"};
    for (std::size_t k = 0; k < count * fieldCount; ++k) {
      const matvar_t* field = static_cast<matvar_t* const*>(info->data)[k];
      if (field != nullptr && Elements(*field) > mat_variables::kMaxFieldElements)
        throw Refusal{"un champ de " + Quoted(name) + " est trop grand pour être de TAVRIL"};
    }
    const Variable channels(Mat_VarRead(file_, name.c_str()));
    if (!channels) throw Refusal{"la variable " + Quoted(name) + " est illisible"};
    ChannelSet set;
    for (std::size_t k = 0; k < count; ++k) set.push_back(ReadChannel(channels.get(), k));
    return set;
  }

  // Every channel's samples must fit together before the first is read. A
  // vector whose length is not its channel's count is refused when read.
  void CheckMemory(const ChannelSet& set) {
    std::uint64_t values = 0;
    for (const SlotRecord& entry : set) {
      const std::size_t count = Elements(*Info(mat_variables::SampleName(entry.slot)));
      if (count == entry.record.count()) values += count;
    }
    if (!SamplesFitInMemory(values)) throw Refusal{SamplesMemoryRefusal(values)};
  }

  void ReadSamples(SlotRecord& entry) {
    const std::string name = mat_variables::SampleName(entry.slot);
    const Variable info = Info(name);
    const std::size_t count = Elements(*info);
    ChannelRecord& record = entry.record;
    if (info->class_type != MAT_C_DOUBLE || info->isComplex || !IsVector(*info))
      throw Refusal{"la variable " + Quoted(name) + " n'est pas un vecteur de nombres réels"};
    if (count != 0 && count != record.count()) {
      throw Refusal{"la variable " + Quoted(name) + " a " + std::to_string(count) +
                    " valeurs alors que son canal en annonce " + std::to_string(record.count())};
    }
    if (count > static_cast<std::size_t>(INT_MAX))
      throw Refusal{"la variable " + Quoted(name) + " a trop de valeurs pour être lue"};
    // Version 5 holds the values uncompressed: together they fit in the file.
    samplesBytes_ += count * sizeof(double);
    if (version5_ && samplesBytes_ > fileBytes_)
      throw Refusal{"la variable " + Quoted(name) + " dépasse la fin du fichier"};
    if (checkOnly_) {
      ReadThrough(info.get(), name, count);
      return;
    }
    std::vector<double> samples;
    if (!AllocateZeroed(samples, count)) {
      throw Refusal{"la mémoire ne peut pas contenir les " + std::to_string(count) + " points de " +
                    Quoted(name)};
    }
    if (count > 0 && Mat_VarReadDataLinear(file_, info.get(), samples.data(), 0, 1,
                                           static_cast<int>(count)) != 0) {
      throw Refusal{"la variable " + Quoted(name) + " est illisible"};
    }
    record.TakeSamples(samples);
  }

  void ReadThrough(matvar_t* info, const std::string& name, std::size_t count) {
    constexpr std::size_t kBlock = std::size_t{1} << 17;  // 1 MiB of samples
    std::vector<double> buffer(std::min(count, kBlock));
    for (std::size_t start = 0; start < count; start += kBlock) {
      const int size = static_cast<int>(std::min(kBlock, count - start));
      if (Mat_VarReadDataLinear(file_, info, buffer.data(), static_cast<int>(start), 1, size) != 0)
        throw Refusal{"la variable " + Quoted(name) + " est illisible"};
    }
  }

  mat_t* file_;
  bool version5_;
  std::uint64_t fileBytes_;
  bool checkOnly_;
  std::uint64_t samplesBytes_ = 0;
};

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

bool ReadMat(const std::filesystem::path& path, bool checkOnly, ChannelSet& records,
             std::string* why) {
  // The system's reason for a file that cannot be opened; matio gives none.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int error = fd < 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    if (fd >= 0) ::close(fd);
    return Fail(why, "impossible de l'ouvrir (" + SystemErrorText(error) + ")");
  }
  ::close(fd);
  mat_variables::SilenceMatioLog();
  const mat_variables::File file(Mat_Open(path.c_str(), MAT_ACC_RDONLY));
  if (!file) return Fail(why, "ce n'est pas un fichier MATLAB de version 5 ou 7.3");
  const mat_ft version = Mat_GetVersion(file.get());
  if (version != MAT_FT_MAT5 && version != MAT_FT_MAT73)
    return Fail(why, "fichier MATLAB de version 4 : TAVRIL lit les versions 5 et 7.3");
  if (version == MAT_FT_MAT5 ? !Mat5ElementSizes(path) : !Mat73ReachesItsEnd(path))
    return Fail(why, "le fichier est tronqué ou endommagé");
  try {
    ChannelSet set = Reader(file.get(), version == MAT_FT_MAT5,
                            static_cast<std::uint64_t>(info.st_size), checkOnly)
                         .Read();
    records = std::move(set);
    return true;
  } catch (const Refusal& refusal) {
    return Fail(why, refusal.text);
  }
}

}  // namespace

bool CheckMatFile(const std::filesystem::path& path, std::string& why) {
  ChannelSet ignored;
  return ReadMat(path, true, ignored, &why);
}

bool ReadMatFile(const std::filesystem::path& path, ChannelSet& records, std::string* why) {
  return CheckFileAside(FileCheck::kMatlab, path, why) && ReadMat(path, false, records, why);
}

}  // namespace tavril
