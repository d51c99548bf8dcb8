#include <dlfcn.h>

#include <filesystem>

#include "bindings.h"
#include "files/isolated_check.h"

namespace {

// The folder this module was loaded from, where the build and the install
// put tavril-check-file.
std::filesystem::path ModuleFolder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<const void*>(&ModuleFolder), &info) == 0 ||
      info.dli_fname == nullptr)
    return {};
  return std::filesystem::path(info.dli_fname).parent_path();
}

}  // namespace

PYBIND11_MODULE(_tavril, m) {
  namespace tp = tavril::python;
  m.doc() = "TAVRIL's core from Python: records as numpy arrays, files, measurements, boards.";
  tavril::UseFileCheckProgramIn(ModuleFolder());
  tp::BindErrors(m);
  tp::BindRecords(m);
  tp::BindFiles(m);
  tp::BindAnalysis(m);
  tp::BindOutputs(m);
  tp::BindBoards(m);
  tp::BindRecordings(m);
}
