#include "ui/processing/math_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "model/channel_record.h"
#include "support/record_checks.h"
#include "support/scripted_user.h"

namespace tavril {
namespace {

using testing::Values;

using testing::SetSamples;

using tavril::testing::ScriptedUser;

ChannelRecord Record(std::int16_t chan, double rate, std::vector<double> samples,
                     std::string title) {
  ChannelRecord record;
  record.device = 1;
  record.chan = chan;
  record.gain = 1;
  record.rate = rate;
  SetSamples(record, std::move(samples));
  record.title = std::move(title);
  return record;
}

class MathDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session().channels[0] = Record(0, 1000.0, {1.0, 2.0, 3.0}, "a");
    session().channels[1] = Record(1, 1000.0, {10.0, 20.0, 30.0}, "b");
    session().channels[2] = Record(2, 1000.0, {7.0}, "ancien");
    QObject::connect(&model_, &SessionModel::recordsChanged, [this] { ++refreshes_; });
    QObject::connect(&model_, &SessionModel::masterChannelChanged, [this] { ++refreshes_; });
    QObject::connect(&model_, &SessionModel::configurationChanged, [this] { ++refreshes_; });
  }

  Session& session() { return model_.session(); }

  MathDialog& Open() {
    dialog_ = std::make_unique<MathDialog>(model_, memory_, user_);
    dialog_->show();
    return *dialog_;
  }

  QListWidget* List(const char* name) {
    return dialog_->findChild<QListWidget*>(QLatin1String(name));
  }
  QListWidget* ListA() { return List("operandAList"); }
  QListWidget* ListB() { return List("operandBList"); }
  QListWidget* ListResult() { return List("resultList"); }
  QRadioButton* Radio(MathOperation op) {
    return dialog_->findChild<QRadioButton*>(
        QStringLiteral("operation%1").arg(MathOperationCode(op)));
  }
  QPushButton* Button(const char* name) {
    return dialog_->findChild<QPushButton*>(QLatin1String(name));
  }

  static int Selected(QListWidget* list) {
    const auto items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.front());
  }
  static void Pick(QListWidget* list, int row) {
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
  }
  // On the indicator, which is always inside the button's hit area.
  static void Click(QRadioButton* radio) {
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
  }
  void ClickOk() { QTest::mouseClick(Button("okButton"), Qt::LeftButton); }

  SessionModel model_;
  MathDialogMemory memory_;
  ScriptedUser user_;
  // Signals of the model the main window refreshes on.
  int refreshes_ = 0;
  std::unique_ptr<MathDialog> dialog_;
};

TEST_F(MathDialogTest, FirstOpeningShowsTheStartingChoices) {
  Open();
  EXPECT_EQ(dialog_->windowTitle(), QStringLiteral("Operations Mathématiques"));
  EXPECT_EQ(dialog_->size(), QSize(512, 154));  // 341 x 95 dialog units
  ASSERT_EQ(ListA()->count(), 8);
  EXPECT_EQ(ListA()->item(7)->text(), QStringLiteral("Canal 7"));
  EXPECT_EQ(Selected(ListA()), 0);
  EXPECT_EQ(Selected(ListB()), 1);
  EXPECT_EQ(Selected(ListResult()), 2);
  EXPECT_TRUE(Radio(MathOperation::kSum)->isChecked());
  EXPECT_EQ(Radio(MathOperation::kQuotient)->text(), QStringLiteral("/ (Division)"));
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(MathDialogTest, DivisionIsGreyedAndCannotBeChecked) {
  Open();
  EXPECT_FALSE(Radio(MathOperation::kQuotient)->isEnabled());
  Click(Radio(MathOperation::kQuotient));
  EXPECT_FALSE(Radio(MathOperation::kQuotient)->isChecked());
  EXPECT_TRUE(Radio(MathOperation::kSum)->isChecked());
}

TEST_F(MathDialogTest, TabOrderFollowsTheTemplate) {
  Open();
  const std::vector<QWidget*> expected = {Button("okButton"),
                                          Button("cancelButton"),
                                          Radio(MathOperation::kSum),
                                          Radio(MathOperation::kDifference),
                                          Radio(MathOperation::kProduct),
                                          Radio(MathOperation::kQuotient),
                                          Radio(MathOperation::kRectangle),
                                          Radio(MathOperation::kMidpoint),
                                          ListResult(),
                                          ListB(),
                                          ListA()};
  // The chain also holds the lists' viewports and scroll bars: keep only the template's controls.
  std::vector<QWidget*> chain;
  QWidget* widget = expected.front();
  do {
    if (std::find(expected.begin(), expected.end(), widget) != expected.end()) {
      chain.push_back(widget);
    }
    widget = widget->nextInFocusChain();
  } while (widget != expected.front());
  EXPECT_EQ(chain, expected);
}

TEST_F(MathDialogTest, KeyboardMovesThroughTheControls) {
  Open();
  dialog_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
  EXPECT_EQ(QApplication::focusWidget(), Button("okButton"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Button("cancelButton"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Radio(MathOperation::kSum));
  // Arrows move the check within the operations, skipping the greyed division.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_TRUE(Radio(MathOperation::kDifference)->isChecked());
  Pick(ListB(), 5);
  Radio(MathOperation::kDifference)->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_TRUE(Radio(MathOperation::kRectangle)->isChecked());
  EXPECT_EQ(Selected(ListB()), -1);
}

TEST_F(MathDialogTest, OkWritesTheSumIntoChannelTwoAndMakesItMaster) {
  Open();
  ClickOk();
  EXPECT_EQ(dialog_->result(), 1);
  EXPECT_EQ(Values(session().channels[2]), (std::vector<double>{11.0, 22.0, 33.0}));
  EXPECT_EQ(session().channels[2].title, "Canal 0 + Canal 1");
  EXPECT_EQ(session().masterChannel, 2);
  EXPECT_EQ(refreshes_, 1);
  EXPECT_TRUE(user_.boxes().empty());
}

// A run started from another window while the dialog is open fills the records.
TEST_F(MathDialogTest, OkAsksToStopARunFirstAndChangesNothing) {
  Open();
  model_.SetAcquisitionState(AcquisitionState::kContinuous);
  ClickOk();
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text,
            "Arrêtez d'abord l'acquisition continue : cette commande remplacerait les "
            "enregistrements qu'elle est en train de montrer.");
  EXPECT_EQ(session().channels[2].title, "ancien");
  EXPECT_EQ(refreshes_, 0);
  EXPECT_TRUE(dialog_->isVisible());
}

TEST_F(MathDialogTest, EnterRunsOkAndEscapeCancels) {
  Open();
  QTest::keyClick(dialog_.get(), Qt::Key_Escape);
  EXPECT_EQ(dialog_->result(), 0);
  EXPECT_EQ(session().channels[2].title, "ancien");
  Open();
  QTest::keyClick(dialog_.get(), Qt::Key_Return);
  EXPECT_EQ(dialog_->result(), 1);
  EXPECT_EQ(session().channels[2].title, "Canal 0 + Canal 1");
}

TEST_F(MathDialogTest, TitleComesFromTheChosenIndexesAndOperation) {
  session().channels[4] = Record(6, 1000.0, {1.0, 1.0}, "");
  Open();
  Pick(ListA(), 4);
  Pick(ListB(), 0);
  Pick(ListResult(), 5);
  Click(Radio(MathOperation::kProduct));
  Pick(ListB(), 0);  // the click above put back the saved operand
  ClickOk();
  EXPECT_EQ(session().channels[5].title, "Canal 4 * Canal 0");
  EXPECT_EQ(Values(session().channels[5]), (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(session().masterChannel, 5);
  EXPECT_EQ(memory_.operandA, 4);
  EXPECT_EQ(memory_.operandB, 0);
  EXPECT_EQ(memory_.resultChannel, 5);
  EXPECT_EQ(memory_.operation, MathOperation::kProduct);
}

TEST_F(MathDialogTest, RectangleClearsListBAndIsRememberedAsNoOperandB) {
  Open();
  Click(Radio(MathOperation::kRectangle));
  EXPECT_EQ(Selected(ListB()), -1);
  ClickOk();
  EXPECT_EQ(session().channels[2].title, "Integrale du Canal 0 (Rectangle)");
  EXPECT_EQ(Values(session().channels[2]), (std::vector<double>{0.001, 0.002, 0.003}));
  EXPECT_EQ(memory_.operandB, -1);
  EXPECT_EQ(memory_.operation, MathOperation::kRectangle);

  Open();
  EXPECT_EQ(Selected(ListB()), -1);
  EXPECT_TRUE(Radio(MathOperation::kRectangle)->isChecked());
  EXPECT_FALSE(Radio(MathOperation::kSum)->isChecked());
}

TEST_F(MathDialogTest, MidpointTitleNamesOperandA) {
  Open();
  Pick(ListA(), 1);
  Click(Radio(MathOperation::kMidpoint));
  ClickOk();
  EXPECT_EQ(session().channels[2].title, "Integrale du Canal 1 (Point milieu)");
  EXPECT_EQ(session().channels[2].count(), 2u);
}

TEST_F(MathDialogTest, TwoChannelOperationPutsBackTheSavedOperandB) {
  Open();
  Pick(ListB(), 5);
  EXPECT_EQ(Selected(ListB()), 5);
  Click(Radio(MathOperation::kDifference));
  EXPECT_EQ(Selected(ListB()), 1);
}

TEST_F(MathDialogTest, DifferentRatesKeepTheOldTitleAndSayWhy) {
  session().channels[1].rate = 500.0;
  Open();
  ClickOk();
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text,
            "Les canaux 0 et 1 n'ont pas la même fréquence d'échantillonnage.\n"
            "Le canal 2 n'a pas été modifié.");
  EXPECT_EQ(user_.boxes()[0].caption, "ERREUR");
  EXPECT_EQ(user_.boxes()[0].icon, MessageIcon::kError);
  EXPECT_EQ(session().channels[2].title, "ancien");
  EXPECT_EQ(Values(session().channels[2]), (std::vector<double>{7.0}));
  EXPECT_EQ(session().masterChannel, 2);
  EXPECT_EQ(refreshes_, 1);
  EXPECT_EQ(dialog_->result(), 1);
}

TEST_F(MathDialogTest, EmptyOperandForMidpointReportsAllocationProblem) {
  session().channels[3] = Record(3, 1000.0, {}, "");
  Open();
  Pick(ListA(), 3);
  Click(Radio(MathOperation::kMidpoint));
  ClickOk();
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text, "Problème d'allocation mémoire");
  EXPECT_EQ(session().channels[2].title, "Integrale du Canal 3 (Point milieu)");
  EXPECT_EQ(session().masterChannel, 2);
}

TEST_F(MathDialogTest, RefusesTwoChannelOperationWithoutOperandB) {
  memory_.operandB = -1;
  memory_.operation = MathOperation::kRectangle;
  session().masterChannel = 0;
  const MathDialogMemory before = memory_;
  Open();
  Click(Radio(MathOperation::kSum));
  EXPECT_EQ(Selected(ListB()), -1);
  ClickOk();
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text,
            "Aucun canal n'est sélectionné pour l'opérande B.\n"
            "Choisissez-en un dans la deuxième liste.");
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(memory_.operandB, before.operandB);
  EXPECT_EQ(memory_.operation, before.operation);
  EXPECT_EQ(session().channels[2].title, "ancien");
  EXPECT_EQ(session().masterChannel, 0);
  EXPECT_EQ(refreshes_, 0);

  // Picking an operand then lets it run.
  Pick(ListB(), 1);
  ClickOk();
  EXPECT_EQ(session().channels[2].title, "Canal 0 + Canal 1");
}

TEST_F(MathDialogTest, RefusesWithoutResultChannel) {
  Open();
  const QRect rect = ListResult()->visualItemRect(ListResult()->item(2));
  QTest::mouseClick(ListResult()->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
  ASSERT_EQ(Selected(ListResult()), -1);
  ClickOk();
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text,
            "Aucun canal n'est sélectionné pour le résultat.\n"
            "Choisissez-en un dans la troisième liste.");
  EXPECT_EQ(memory_.resultChannel, 2);
  EXPECT_EQ(session().channels[2].title, "ancien");
  EXPECT_EQ(session().masterChannel, 0);
  EXPECT_EQ(refreshes_, 0);
}

TEST_F(MathDialogTest, CancelAfterChangingEveryControlChangesNothing) {
  Open();
  Pick(ListA(), 3);
  Pick(ListResult(), 6);
  Click(Radio(MathOperation::kMidpoint));
  Pick(ListB(), 4);
  QTest::mouseClick(Button("cancelButton"), Qt::LeftButton);
  EXPECT_EQ(dialog_->result(), 0);
  EXPECT_EQ(memory_.operandA, 0);
  EXPECT_EQ(memory_.operandB, 1);
  EXPECT_EQ(memory_.resultChannel, 2);
  EXPECT_EQ(memory_.operation, MathOperation::kSum);
  EXPECT_EQ(session().channels[2].title, "ancien");
  EXPECT_EQ(Values(session().channels[6]), std::vector<double>{});
  EXPECT_EQ(session().masterChannel, 0);
  EXPECT_EQ(refreshes_, 0);
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(MathDialogTest, ResultEqualToOperandAReadsAsZeros) {
  Open();
  Pick(ListResult(), 0);
  ClickOk();
  EXPECT_EQ(Values(session().channels[0]), (std::vector<double>{10.0, 20.0, 30.0}));
  EXPECT_EQ(session().channels[0].title, "Canal 0 + Canal 1");
  EXPECT_EQ(session().masterChannel, 0);
}

}  // namespace
}  // namespace tavril
