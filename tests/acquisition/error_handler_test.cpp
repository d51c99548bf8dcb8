#include "acquisition/error_handler.h"

#include <gtest/gtest.h>

#include "support/scripted_user.h"

namespace tavril {
namespace {

using testing::ScriptedUser;

TEST(NIDAQErrorHandler, LetsSuccessAndWarningsGoOnSilently) {
  ScriptedUser user;
  EXPECT_EQ(0, NIDAQErrorHandler(user, kDaqNoError, "DAQ_Op", 0));
  EXPECT_EQ(0, NIDAQErrorHandler(user, 10, "DAQ_Op", 0));
  EXPECT_TRUE(user.boxes().empty());
}

TEST(NIDAQErrorHandler, AsksWhetherToGoOnAfterAnError) {
  ScriptedUser user;
  user.Answer(MessageAnswer::kNo);
  user.Answer(MessageAnswer::kYes);
  EXPECT_EQ(kHandlerAbandon, NIDAQErrorHandler(user, kTimeOutError, "DAQ_Op", 0));
  EXPECT_EQ(kHandlerGoOn, NIDAQErrorHandler(user, kBadGainError, "SCAN_Op", 0));
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

TEST(NIDAQErrorHandler, NamesStatusesItDoesNotKnow) {
  EXPECT_EQ("unknownError", DaqStatusName(-1));
  EXPECT_EQ("deviceNotFoundError", DaqStatusName(kDeviceNotFoundError));
  EXPECT_NE(std::string::npos, BoardErrorText(-1, "AI_Configure").find("-1 (unknownError)"));
}

}  // namespace
}  // namespace tavril
