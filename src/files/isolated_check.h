#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tavril {

// libhdf5 and matio crash or loop on some damaged files. Such a file is read
// once first by a small helper program, tavril-check-file, started for it
// (posix_spawn: a fresh process, which shares no lock and no memory with the
// program, whatever its other threads hold): the damage takes the helper
// down, not the program, and the file is refused with the reason.
//
// The helper is looked for beside the running executable, then in
// ../libexec/tavril/ from there. Without it, such files are refused with a
// message saying so: reading them in the program would give up the
// protection, and a damaged one could then take the program down.

// What the helper reads a file as.
enum class FileCheck {
  kChannelsHdf5,  // a file of channels (files/hdf5_file.h), all but the samples
  kMatlab,        // a MATLAB file (files/mat_file.h), every byte
  kSession,       // a session file (session/session_file.h), all but the samples
};

// Where a reader runs its check.
enum class CheckPlace { kAside, kInProcess };

inline constexpr const char* kFileCheckProgram = "tavril-check-file";

// The check's name on the helper's command line, and back.
std::string_view FileCheckName(FileCheck check);
std::optional<FileCheck> FileCheckNamed(std::string_view name);

// Has the helper read the file at `path` as `check` says, with ten seconds
// for its structure and the time to read every byte slowly, and a gigabyte
// of memory for the HDF5 checks, which never read samples. True when it
// passed, or, for an HDF5 file, when a writer holds it (the reader's own
// opening decides then, before it reads the file); false with the reason in
// `why`: the helper's, or, when the helper died or ran out of time, a
// sentence that names the library and says what happened.
bool CheckFileAside(FileCheck check, const std::filesystem::path& path, std::string* why);

// Looks for the helper in `folder` (then in ../libexec/tavril/ from there)
// rather than beside the running executable: for a library loaded into
// another program (the Python module, beside which the helper is put).
// Call it before the first check.
void UseFileCheckProgramIn(const std::filesystem::path& folder);

// The helper beside an executable in `folder`, or in ../libexec/tavril/ from
// there; empty when neither holds it.
std::filesystem::path FindFileCheckProgram(const std::filesystem::path& folder);

}  // namespace tavril
