#pragma once

#include <filesystem>

#include "app/channel_record.h"
#include "app/user_interaction.h"
#include "files/file_writer.h"

namespace tavril {

// Exports `record` as a MATLAB/Octave script at `path`, with the same prompt
// and results as SaveChannelFile (the re-run command is the export).
int ExportMatlabFile(UserInteraction& ui, const std::filesystem::path& path,
                     const ChannelRecord& record);

// The script: time vector x<chan>, sample vector y<chan>, then plot, grid and
// title. The title is written as UTF-8 so that MATLAB and Octave read it.
void WriteMatlabScript(const ChannelRecord& record, AtomicFileWriter& out);

}  // namespace tavril
