#pragma once

#include <memory>
#include <string_view>

#include "acquisition/boards.h"
#include "acquisition/stream_clock.h"

namespace tavril {

class ComediLibrary;

// Where the program looks for real boards: device number d is the Comedi
// device file comediPathPrefix followed by d - 1, for d from 1 to 16, opened
// through comediLibrary (null: comedilib itself). Without comedilib in the
// build there are no real boards. The simulated board's streams run by
// simulatedClock, which must outlive the boards (null: the steady clock).
struct BoardSearch {
  std::string_view comediPathPrefix = "/dev/comedi";
  ComediLibrary* comediLibrary = nullptr;
  StreamClock* simulatedClock = nullptr;
};

// The boards of the program: a Comedi board for every device file that holds
// one, and the simulated board on device 1 when the first file holds none.
std::unique_ptr<Boards> MakeDefaultBoards(const BoardSearch& search = {});

}  // namespace tavril
