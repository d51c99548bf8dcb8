#pragma once

#include <filesystem>

#include "files/file_writer.h"
#include "files/save_prompt.h"
#include "model/channel_record.h"
#include "model/user_interaction.h"

namespace tavril {

// Exports `record` as a MATLAB/Octave script at `path`, with the same prompt
// and outcomes as SaveChannelFile.
SaveOutcome ExportMatlabFile(UserInteraction& ui, const std::filesystem::path& path,
                             const ChannelRecord& record);

// The script: time vector x<chan>, sample vector y<chan>, then plot, grid and
// title. The title is written as UTF-8 so that MATLAB and Octave read it.
void WriteMatlabScript(const ChannelRecord& record, AtomicFileWriter& out);

}  // namespace tavril
