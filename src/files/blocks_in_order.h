#pragma once

#include <cstddef>
#include <functional>

#include "files/file_writer.h"

namespace tavril {

// Writes `blocks` blocks of text to `out`, in order, formatted by this thread
// and one more: each thread takes the next block not yet taken, so that the
// work shares itself out whatever the writes cost this thread. `format` puts
// block `index` at `out` (at most `maxBlockBytes`) and returns one past its
// end; it is called from both threads at once. Without a second thread to be
// had, this one does everything.
void WriteBlocksInOrder(std::size_t blocks, std::size_t maxBlockBytes,
                        const std::function<char*(std::size_t index, char* out)>& format,
                        AtomicFileWriter& out);

}  // namespace tavril
