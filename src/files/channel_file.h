#pragma once

#include <filesystem>
#include <string>

#include "files/byte_reader.h"
#include "files/channel_file_problem.h"
#include "files/file_writer.h"
#include "files/save_prompt.h"
#include "model/channel_record.h"
#include "model/user_interaction.h"

namespace tavril {

// Header values are at most this many bytes (the reader's field buffer less its NUL).
inline constexpr std::size_t kMaxChannelFieldBytes = 255;
inline constexpr unsigned char kFieldTerminator = 0xA7;

// Saves `record` as a data file at `path`, asking before it replaces an
// existing file (SaveWithOverwritePrompt).
SaveOutcome SaveChannelFile(UserInteraction& ui, const std::filesystem::path& path,
                            const ChannelRecord& record);

// The data file's bytes for `record`: six header items, "Tableau :" and the
// sample list.
void WriteChannelFile(AtomicFileWriter& out, const ChannelRecord& record);

// Reads a data file into `record`. 1 when the whole file was read: the record
// then holds the file's title, device, chan, gain, count, rate and samples, with
// their statistics; a list shorter than the count
// leaves zeros. 0 when the file cannot be opened or read, breaks the format or
// announces more samples than memory can hold; the record is then untouched,
// and `problem`, when given, says why.
int LoadChannelFile(const std::filesystem::path& path, ChannelRecord& record,
                    ChannelFileProblem* problem = nullptr);

// As above, reading the samples into `spare` first, whose memory a record
// loaded again reuses instead of taking fresh pages; on success the record's
// previous samples (and their memory) go to `spare`.
int LoadChannelFile(const std::filesystem::path& path, ChannelRecord& record,
                    std::vector<double>& spare, ChannelFileProblem* problem = nullptr);

// Reads one header value up to its 0xA7 terminator and skips the terminator
// and the two bytes after it. False when the file ends first or the value
// exceeds kMaxChannelFieldBytes.
bool ReadChannelField(ByteReader& in, std::string& value);

}  // namespace tavril
