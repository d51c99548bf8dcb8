#include "acquisition/comedi/default_boards.h"

#ifdef TAVRIL_HAVE_COMEDI
#include "acquisition/comedi/comedi_board.h"
#include "acquisition/comedi/comedi_library.h"
#endif

namespace tavril {

std::unique_ptr<Boards> MakeDefaultBoards(const BoardSearch& search) {
  auto boards = std::make_unique<Boards>();
#ifdef TAVRIL_HAVE_COMEDI
  ComediLibrary& library =
      search.comediLibrary != nullptr ? *search.comediLibrary : SystemComediLibrary();
  AttachComediBoards(*boards, library, search.comediPathPrefix);
#else
  static_cast<void>(search);
#endif
  AttachSimulatedBoard(*boards,
                       search.simulatedClock != nullptr ? *search.simulatedClock : SteadyClock());
  return boards;
}

}  // namespace tavril
