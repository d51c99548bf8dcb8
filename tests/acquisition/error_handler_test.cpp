#include "acquisition/error_handler.h"

#include <gtest/gtest.h>

#include "acquisition/simulated_board.h"
#include "support/scripted_user.h"

namespace tavril {
namespace {

using testing::ScriptedUser;

TEST(BoardErrorQuestion, LetsSuccessAndWarningsGoOnSilently) {
  ScriptedUser user;
  const SimulatedBoard board;
  EXPECT_EQ(BoardErrorChoice::kGoOn, AskAfterBoardError(user, board, kDaqNoError, "DAQ_Op"));
  EXPECT_EQ(BoardErrorChoice::kGoOn, AskAfterBoardError(user, board, 10, "DAQ_Op"));
  EXPECT_TRUE(user.boxes().empty());
}

TEST(BoardErrorQuestion, AsksWhetherToGoOnAfterAnError) {
  ScriptedUser user;
  const SimulatedBoard board;
  user.Answer(MessageAnswer::kNo);
  user.Answer(MessageAnswer::kYes);
  EXPECT_EQ(BoardErrorChoice::kAbandon, AskAfterBoardError(user, board, kTimeOutError, "DAQ_Op"));
  EXPECT_EQ(BoardErrorChoice::kGoOn, AskAfterBoardError(user, board, kBadGainError, "SCAN_Op"));
  ASSERT_EQ(2u, user.boxes().size());
  const MessageBoxRequest& box = user.boxes()[0];
  EXPECT_EQ(
      "DAQ_Op a renvoyé l'erreur -10800 (timeOutError) :\n"
      "L'acquisition dure plus longtemps que le délai d'attente configuré.\n\n"
      "Voulez-vous continuer?",
      box.text);
  EXPECT_EQ("Erreur de la carte d'acquisition", box.caption);
  EXPECT_EQ(MessageIcon::kError, box.icon);
  EXPECT_EQ(MessageButtons::kYesNo, box.buttons);
}

TEST(BoardErrorQuestion, NamesStatusesItDoesNotKnow) {
  EXPECT_EQ("unknownError", DaqStatusName(-1));
  EXPECT_EQ("deviceNotFoundError", DaqStatusName(kDeviceNotFoundError));
  EXPECT_NE(std::string::npos,
            BoardErrorText(-1, "AI_Configure", DaqStatusMessage(-1)).find("-1 (unknownError)"));
}

}  // namespace
}  // namespace tavril
