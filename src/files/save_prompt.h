#pragma once

#include <filesystem>
#include <functional>

#include "files/file_writer.h"
#include "model/user_interaction.h"

namespace tavril {

// What became of one save or export at the path the user chose.
enum class SaveOutcome {
  kWritten,   // the file holds the new content
  kDeclined,  // the user kept the existing file: the caller asks for another name
  kFailed,    // nothing was written; any previous file is intact
};

// The flow shared by the data-file writer and the MATLAB export:
// - a file that cannot be created or replaced: error box, kFailed;
// - an existing file: ask; on No the file stays untouched, kDeclined;
// - otherwise `writeContent` fills the writer and the file is replaced whole:
//   kWritten, or kFailed when any write failed (the previous file is then
//   intact).
SaveOutcome SaveWithOverwritePrompt(UserInteraction& ui, const std::filesystem::path& path,
                                    const std::function<void(AtomicFileWriter&)>& writeContent);

// The same flow for a writer that writes the whole file at `path` by itself,
// whole or not at all (a file a library writes), with its own caption on the
// questions. `why` receives the writer's reason when it fails.
SaveOutcome SaveWithOverwritePrompt(
    UserInteraction& ui, const std::filesystem::path& path, const char* caption,
    const std::function<bool(const std::filesystem::path&, std::string* why)>& writeFile,
    std::string* why);

}  // namespace tavril
