#pragma once

#include "acquisition/acquisition_engine.h"
#include "acquisition/boards.h"
#include "model/user_interaction.h"
#include "ui/common/session_model.h"

namespace tavril {

class WaitBox;

// Runs an acquisition of the selected channels on a thread of its own while
// the event loop goes on, so that the windows repaint, move and answer. The
// windows open when it starts take no input meanwhile (the wait box and the
// board's questions, opened after, do): nothing else can start an
// acquisition or change the records. The board's questions are asked on the
// GUI thread and their answers sent back to the acquisition. The records
// change on the GUI thread once it is over, and the model tells the windows.
// A click on a blocked window brings `waitBox` forward; its givingUp()
// stops the board and abandons the acquisition without a question.
// True when the acquisition succeeded; false when it failed, the user having
// been told or having given up, or when another acquisition is running.
bool AcquireAside(SessionModel& model, Boards& boards, UserInteraction& ui,
                  const ChannelSelection& selected, double scanRate, WaitBox* waitBox);

}  // namespace tavril
