#include <algorithm>
#include <filesystem>
#include <system_error>

#include "bindings.h"
#include "files/channel_file.h"
#include "files/channel_file_problem.h"
#include "files/channel_formats.h"
#include "files/file_writer.h"
#include "files/matlab_export.h"
#include "model/messages.h"
#include "session/session_file.h"
#include "text/system_error_text.h"

namespace tavril::python {
namespace {

std::string PathText(const py::object& path) {
  return py::str(py::module_::import("os").attr("fspath")(path)).cast<std::string>();
}

// Every record of `path` (the GIL released while the file is read).
std::vector<RecordHandle> ReadAll(const std::string& path) {
  std::vector<RecordHandle> records;
  std::string why;
  std::vector<std::string> notices;
  bool read = false;
  {
    py::gil_scoped_release released;
    if (ChannelFormatOfFile(path) == ChannelFormat::kChannelFile) {
      ChannelRecord record;
      ChannelFileProblem problem;
      read = LoadChannelFile(path, record, &problem) == 1;
      if (read) {
        records.push_back(MakeRecord(std::move(record), std::nullopt));
      } else {
        why = DescribeChannelFileProblem(problem);
      }
    } else {
      ChannelSet set;
      read = ReadChannelsFile(path, set, &why, &notices);
      for (SlotRecord& entry : set)
        records.push_back(MakeRecord(std::move(entry.record), entry.slot));
      // A session file: its records that hold samples, each in its slot.
      SessionContents session;
      std::string sessionWhy;
      if (!read && ChannelFormatOfFile(path) == ChannelFormat::kHdf5 &&
          ReadSessionFile(path, session, &sessionWhy)) {
        read = true;
        for (int slot = 0; slot < kChannelCount; ++slot) {
          if (session.channels[slot].holdsSamples())
            records.push_back(MakeRecord(std::move(session.channels[slot]), slot));
        }
      }
    }
  }
  if (!read) RaiseError(messages::OpenError(path) + " : " + why);
  const py::object warn = py::module_::import("warnings").attr("warn");
  for (const std::string& notice : notices) warn(path + " : " + notice);
  return records;
}

RecordHandle ReadOne(const py::object& file) {
  const std::string path = PathText(file);
  std::vector<RecordHandle> records = ReadAll(path);
  if (records.size() != 1) {
    RaiseError("Le fichier contient " + std::to_string(records.size()) +
               " canaux : lisez-les avec tavril.read_channels : " + path);
  }
  return records.front();
}

// The records to write, from one Record or a sequence of them.
std::vector<RecordHandle> RecordsOf(const py::object& records) {
  if (py::isinstance<Record>(records)) return {records.cast<RecordHandle>()};
  return records.cast<std::vector<RecordHandle>>();
}

// Each record's slot: its own, or the lowest one free, in order; two
// records in one slot are refused.
std::vector<SlotView> SlotViews(const std::vector<RecordHandle>& records) {
  std::vector<SlotView> views;
  std::array<bool, kChannelCount> taken{};
  for (const RecordHandle& r : records) {
    if (r->slot) {
      if (*r->slot < 0 || *r->slot >= kChannelCount)
        RaiseError("Le canal " + std::to_string(*r->slot) + " n'existe pas (canaux 0 à 7)");
      if (taken[*r->slot])
        RaiseError("Deux enregistrements sont au canal " + std::to_string(*r->slot));
      taken[*r->slot] = true;
    }
  }
  for (const RecordHandle& r : records) {
    int slot = r->slot.value_or(-1);
    if (slot < 0) {
      const auto free = std::find(taken.begin(), taken.end(), false);
      if (free == taken.end()) RaiseError("Plus de 8 enregistrements pour un fichier");
      slot = static_cast<int>(free - taken.begin());
      taken[slot] = true;
    }
    views.push_back({slot, &r->record});
  }
  std::sort(views.begin(), views.end(),
            [](const SlotView& a, const SlotView& b) { return a.slot < b.slot; });
  return views;
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  const auto type = std::filesystem::symlink_status(path, ignored).type();
  return type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none;
}

void RefuseExisting(const std::string& path, bool overwrite) {
  if (!overwrite && Exists(path)) {
    RaiseError("Le fichier existe déjà : " + path + " (overwrite=True pour le remplacer)");
  }
}

// One record to a .tvr or .m file, whole or nothing.
bool WriteSingle(const std::string& path, const ChannelRecord& record, std::string& why) {
  AtomicFileWriter writer;
  bool written = writer.Open(path);
  if (written) {
    if (ChannelFormatOf(path) == ChannelFormat::kMatlabScript) {
      WriteMatlabScript(record, writer);
    } else {
      WriteChannelFile(writer, record);
    }
    written = writer.Commit();
  }
  if (!written) why = SystemErrorText(writer.Error());
  return written;
}

std::vector<std::string> Write(const py::object& file, const py::object& given, bool overwrite) {
  const std::string path = PathText(file);
  const ChannelFormat format = ChannelFormatOf(path);
  if (format == ChannelFormat::kUnknown) {
    RaiseError("Extension de fichier non reconnue : " + path +
               " (.tvr, .m, .csv, .mat, .h5 ou .xlsx attendu)");
  }
  const std::vector<RecordHandle> records = RecordsOf(given);
  if (records.empty()) RaiseError("Aucun enregistrement à écrire : " + path);
  const std::vector<SlotView> views = SlotViews(records);
  for (const SlotView& view : views) {
    const std::string refusal = SampleCountRefusal(format, view.record->sampleCount());
    if (!refusal.empty()) {
      RaiseError(messages::SaveError(path) + " : canal " + std::to_string(view.slot) + ", " +
                 refusal);
    }
  }
  // A .tvr or .m file holds one record: several become PATH<slot>.tvr.
  std::vector<std::string> paths;
  if (HoldsSeveralChannels(format) || views.size() == 1) {
    paths.push_back(path);
  } else {
    std::filesystem::path stem(path);
    const std::string extension = stem.extension().string();
    stem.replace_extension();
    for (const SlotView& view : views)
      paths.push_back(stem.string() + std::to_string(view.slot) + extension);
  }
  for (const std::string& out : paths) RefuseExisting(out, overwrite);
  std::string why;
  std::string failed;
  {
    py::gil_scoped_release released;
    if (HoldsSeveralChannels(format)) {
      if (!WriteChannelsFile(views, path, &why)) failed = path;
    } else {
      for (std::size_t i = 0; i < paths.size() && failed.empty(); ++i) {
        if (!WriteSingle(paths[i], *views[i].record, why)) failed = paths[i];
      }
    }
  }
  if (!failed.empty()) RaiseError(messages::SaveError(failed) + " : " + why);
  return paths;
}

}  // namespace

void BindFiles(py::module_& m) {
  m.def("read", &ReadOne, py::arg("path"),
        R"(The record of a file of one channel: a .tvr data file, or a .csv, .mat
or .h5 file that holds one channel. tavril.Error says why a file is refused.)");
  m.def(
      "read_channels", [](const py::object& file) { return ReadAll(PathText(file)); },
      py::arg("path"),
      R"(Every record of a .tvr, .csv, .mat, .h5 (channels, recordings) or session
file (its records that hold samples), in slot order, each with its slot
(None for a .tvr file). What the
reader notices (empty CSV cells read as NaN) comes as a warning.)");
  m.def("write", &Write, py::arg("path"), py::arg("records"), py::arg("overwrite") = false,
        R"(Writes a Record or a list of them in the format of path's extension:
.tvr, .m, .csv, .mat, .h5 or .xlsx, whole or not at all. Each record goes
to its slot (the lowest free one when it has none). Several records in a
.tvr or .m name become one file each, PATH<slot>.tvr. An existing file is
replaced only with overwrite=True. Returns the paths written.)");
}

}  // namespace tavril::python
