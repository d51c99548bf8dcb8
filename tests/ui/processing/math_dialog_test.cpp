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

#include "processing/channel_arithmetic.h"
#include "support/scripted_user.h"

namespace tavril {
namespace {

using tavril::testing::ScriptedUser;

ChannelRecord Record(std::int16_t chan, double rate, std::vector<double> samples,
                     std::string title) {
  ChannelRecord record;
  record.device = 1;
  record.chan = chan;
  record.gain = 1;
  record.count = static_cast<std::uint32_t>(samples.size());
  record.rate = rate;
  record.samples = std::move(samples);
  record.title = std::move(title);
  UpdateChannelStatistics(record);
  return record;
}

class MathDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_.channels[0] = Record(0, 1000.0, {1.0, 2.0, 3.0}, "a");
    state_.channels[1] = Record(1, 1000.0, {10.0, 20.0, 30.0}, "b");
    state_.channels[2] = Record(2, 1000.0, {7.0}, "ancien");
  }

  MathDialog& Open() {
    dialog_ = std::make_unique<MathDialog>(state_, user_, [this] { ++refreshes_; });
    dialog_->show();
    return *dialog_;
  }

  QListWidget* List(const char* name) {
    return dialog_->findChild<QListWidget*>(QLatin1String(name));
  }
  QListWidget* ListA() { return List("operandAList"); }
  QListWidget* ListB() { return List("operandBList"); }
  QListWidget* ListResult() { return List("resultList"); }
  QRadioButton* Radio(int op) {
    return dialog_->findChild<QRadioButton*>(QStringLiteral("operation%1").arg(op));
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

  AppState state_;
  ScriptedUser user_;
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
  EXPECT_TRUE(Radio(kOpSum)->isChecked());
  EXPECT_EQ(Radio(kOpQuotient)->text(), QStringLiteral("/ (Division)"));
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(MathDialogTest, DivisionIsGreyedAndCannotBeChecked) {
  Open();
  EXPECT_FALSE(Radio(kOpQuotient)->isEnabled());
  Click(Radio(kOpQuotient));
  EXPECT_FALSE(Radio(kOpQuotient)->isChecked());
  EXPECT_TRUE(Radio(kOpSum)->isChecked());
}

TEST_F(MathDialogTest, TabOrderFollowsTheTemplate) {
  Open();
  const std::vector<QWidget*> expected = {
      Button("okButton"), Button("cancelButton"), Radio(2), Radio(3), Radio(4), Radio(5), Radio(6),
      Radio(7),           ListResult(),           ListB(),  ListA()};
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
  EXPECT_EQ(QApplication::focusWidget(), Radio(kOpSum));
  // Arrows move the check within the operations, skipping the greyed division.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_TRUE(Radio(kOpDifference)->isChecked());
  Pick(ListB(), 5);
  Radio(kOpDifference)->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_TRUE(Radio(kOpRectangle)->isChecked());
  EXPECT_EQ(Selected(ListB()), -1);
}

TEST_F(MathDialogTest, OkWritesTheSumIntoChannelTwoAndMakesItMaster) {
  Open();
  ClickOk();
  EXPECT_EQ(dialog_->result(), 1);
  EXPECT_EQ(state_.channels[2].samples, (std::vector<double>{11.0, 22.0, 33.0}));
  EXPECT_EQ(state_.channels[2].title, "Canal 0 + Canal 1");
  EXPECT_EQ(state_.masterChannel, 2);
  EXPECT_EQ(refreshes_, 1);
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(MathDialogTest, EnterRunsOkAndEscapeCancels) {
  Open();
  QTest::keyClick(dialog_.get(), Qt::Key_Escape);
  EXPECT_EQ(dialog_->result(), 0);
  EXPECT_EQ(state_.channels[2].title, "ancien");
  Open();
  QTest::keyClick(dialog_.get(), Qt::Key_Return);
  EXPECT_EQ(dialog_->result(), 1);
  EXPECT_EQ(state_.channels[2].title, "Canal 0 + Canal 1");
}

TEST_F(MathDialogTest, TitleComesFromTheChosenIndexesAndOperation) {
  state_.channels[4] = Record(6, 1000.0, {1.0, 1.0}, "");
  Open();
  Pick(ListA(), 4);
  Pick(ListB(), 0);
  Pick(ListResult(), 5);
  Click(Radio(kOpProduct));
  Pick(ListB(), 0);  // the click above put back the saved operand
  ClickOk();
  EXPECT_EQ(state_.channels[5].title, "Canal 4 * Canal 0");
  EXPECT_EQ(state_.channels[5].samples, (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(state_.masterChannel, 5);
  EXPECT_EQ(state_.mathDialog.operandA, 4);
  EXPECT_EQ(state_.mathDialog.operandB, 0);
  EXPECT_EQ(state_.mathDialog.resultChannel, 5);
  EXPECT_EQ(state_.mathDialog.op, kOpProduct);
}

TEST_F(MathDialogTest, RectangleClearsListBAndIsRememberedAsNoOperandB) {
  Open();
  Click(Radio(kOpRectangle));
  EXPECT_EQ(Selected(ListB()), -1);
  ClickOk();
  EXPECT_EQ(state_.channels[2].title, "Integrale du Canal 0 (Rectangle)");
  EXPECT_EQ(state_.channels[2].samples, (std::vector<double>{0.001, 0.002, 0.003}));
  EXPECT_EQ(state_.mathDialog.operandB, -1);
  EXPECT_EQ(state_.mathDialog.op, kOpRectangle);

  Open();
  EXPECT_EQ(Selected(ListB()), -1);
  EXPECT_TRUE(Radio(kOpRectangle)->isChecked());
  EXPECT_FALSE(Radio(kOpSum)->isChecked());
}

TEST_F(MathDialogTest, MidpointTitleNamesOperandA) {
  Open();
  Pick(ListA(), 1);
  Click(Radio(kOpMidpoint));
  ClickOk();
  EXPECT_EQ(state_.channels[2].title, "Integrale du Canal 1 (Point milieu)");
  EXPECT_EQ(state_.channels[2].count, 2u);
}

TEST_F(MathDialogTest, TwoChannelOperationPutsBackTheSavedOperandB) {
  Open();
  Pick(ListB(), 5);
  EXPECT_EQ(Selected(ListB()), 5);
  Click(Radio(kOpDifference));
  EXPECT_EQ(Selected(ListB()), 1);
}

TEST_F(MathDialogTest, DifferentRatesKeepTheOldTitleAndSayWhy) {
  state_.channels[1].rate = 500.0;
  Open();
  ClickOk();
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text,
            "Les canaux 0 et 1 n'ont pas la même fréquence d'échantillonnage.\n"
            "Le canal 2 n'a pas été modifié.");
  EXPECT_EQ(user_.boxes()[0].caption, "ERREUR");
  EXPECT_EQ(user_.boxes()[0].icon, MessageIcon::kError);
  EXPECT_EQ(state_.channels[2].title, "ancien");
  EXPECT_EQ(state_.channels[2].samples, (std::vector<double>{7.0}));
  EXPECT_EQ(state_.masterChannel, 2);
  EXPECT_EQ(refreshes_, 1);
  EXPECT_EQ(dialog_->result(), 1);
}

TEST_F(MathDialogTest, EmptyOperandForMidpointReportsAllocationProblem) {
  state_.channels[3] = Record(3, 1000.0, {}, "");
  Open();
  Pick(ListA(), 3);
  Click(Radio(kOpMidpoint));
  ClickOk();
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text, "Problème d'allocation mémoire");
  EXPECT_EQ(state_.channels[2].title, "Integrale du Canal 3 (Point milieu)");
  EXPECT_EQ(state_.masterChannel, 2);
}

TEST_F(MathDialogTest, RefusesTwoChannelOperationWithoutOperandB) {
  state_.mathDialog.operandB = -1;
  state_.mathDialog.op = kOpRectangle;
  state_.masterChannel = 0;
  const MathDialogState before = state_.mathDialog;
  Open();
  Click(Radio(kOpSum));
  EXPECT_EQ(Selected(ListB()), -1);
  ClickOk();
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text,
            "Aucun canal n'est sélectionné pour l'opérande B.\n"
            "Choisissez-en un dans la deuxième liste.");
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(state_.mathDialog.operandB, before.operandB);
  EXPECT_EQ(state_.mathDialog.op, before.op);
  EXPECT_EQ(state_.channels[2].title, "ancien");
  EXPECT_EQ(state_.masterChannel, 0);
  EXPECT_EQ(refreshes_, 0);

  // Picking an operand then lets it run.
  Pick(ListB(), 1);
  ClickOk();
  EXPECT_EQ(state_.channels[2].title, "Canal 0 + Canal 1");
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
  EXPECT_EQ(state_.mathDialog.resultChannel, 2);
  EXPECT_EQ(state_.channels[2].title, "ancien");
  EXPECT_EQ(state_.masterChannel, 0);
  EXPECT_EQ(refreshes_, 0);
}

TEST_F(MathDialogTest, CancelAfterChangingEveryControlChangesNothing) {
  Open();
  Pick(ListA(), 3);
  Pick(ListResult(), 6);
  Click(Radio(kOpMidpoint));
  Pick(ListB(), 4);
  QTest::mouseClick(Button("cancelButton"), Qt::LeftButton);
  EXPECT_EQ(dialog_->result(), 0);
  EXPECT_EQ(state_.mathDialog.operandA, 0);
  EXPECT_EQ(state_.mathDialog.operandB, 1);
  EXPECT_EQ(state_.mathDialog.resultChannel, 2);
  EXPECT_EQ(state_.mathDialog.op, kOpSum);
  EXPECT_EQ(state_.channels[2].title, "ancien");
  EXPECT_EQ(state_.channels[6].samples, std::vector<double>{});
  EXPECT_EQ(state_.masterChannel, 0);
  EXPECT_EQ(refreshes_, 0);
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(MathDialogTest, ResultEqualToOperandAReadsAsZeros) {
  Open();
  Pick(ListResult(), 0);
  ClickOk();
  EXPECT_EQ(state_.channels[0].samples, (std::vector<double>{10.0, 20.0, 30.0}));
  EXPECT_EQ(state_.channels[0].title, "Canal 0 + Canal 1");
  EXPECT_EQ(state_.masterChannel, 0);
}

TEST_F(MathDialogTest, UnknownSavedOperationIsReportedAtOpening) {
  state_.mathDialog.op = 9;
  Open();
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text, "La variable OP ne peut pas avoir cette valeur\nop=9");
  EXPECT_EQ(user_.boxes()[0].caption, "ERREUR!");
  for (int op = kOpSum; op <= kOpMidpoint; ++op) EXPECT_FALSE(Radio(op)->isChecked());
  ClickOk();
  ASSERT_EQ(user_.boxes().size(), 2u);
  EXPECT_EQ(user_.boxes()[1].text,
            "La variable OP ne peut pas avoir cette valeur\nop=9\n\nCette opérateur n'existe "
            "pas!!!");
  EXPECT_EQ(state_.channels[2].title, "ancien");
  EXPECT_EQ(state_.masterChannel, 2);
}

}  // namespace
}  // namespace tavril
