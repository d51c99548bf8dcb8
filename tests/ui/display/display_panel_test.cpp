#include "ui/display/display_panel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <string>
#include <vector>

#include "support/scripted_user.h"
#include "ui/common/session_model.h"

namespace tavril {
namespace {

QtMessageHandler previousHandler = nullptr;

// The offscreen platform cannot raise a window and says so each time the
// panel opens; that says nothing about the panel.
void DropRaiseNoise(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text == QLatin1String("This plugin does not support raise()")) return;
  if (previousHandler != nullptr) previousHandler(type, context, text);
}

class QuietRaise : public ::testing::Environment {
 public:
  void SetUp() override { previousHandler = qInstallMessageHandler(DropRaiseNoise); }
};

const ::testing::Environment* const kQuietRaise =
    ::testing::AddGlobalTestEnvironment(new QuietRaise);

// A panel over a graph 500 x 300 pixels (half-height 150). The main window's
// part is played here: a change of the scale's settings or of the master
// channel is one refresh (lay out, refit), after which it tells the panels
// with viewRefreshed; an arrow step is one repaint of the graph.
class DisplayPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scale.originY = 150;
    const auto refresh = [this] {
      ++refreshRequests;
      model.TellViewRefreshed();
    };
    QObject::connect(&model, &SessionModel::scaleChanged, refresh);
    QObject::connect(&model, &SessionModel::masterChannelChanged, refresh);
    QObject::connect(&model, &SessionModel::scaleStepped, [this] { ++graphRepaints; });
  }

  void TearDown() override { delete panel.data(); }

  void Open() {
    panel = new DisplayPanel(model, user, [] { return ClientSize{500, 300}; });
    QObject::connect(panel, &DisplayPanel::closed, panel, [this] { ++closings; });
  }

  QLineEdit* Edit(const char* name) { return panel->findChild<QLineEdit*>(name); }
  QString Text(const char* name) { return Edit(name)->text(); }
  QToolButton* Arrow(const char* arrows, const char* which) {
    return panel->findChild<QWidget*>(arrows)->findChild<QToolButton*>(which);
  }
  void Click(const char* arrows, const char* which, int times = 1) {
    for (int i = 0; i < times; ++i) QTest::mouseClick(Arrow(arrows, which), Qt::LeftButton);
  }
  QRadioButton* Radio(const char* name) { return panel->findChild<QRadioButton*>(name); }
  void Type(const char* edit, const char* text) {
    Edit(edit)->clear();
    QTest::keyClicks(Edit(edit), text);
  }

  SessionModel model;
  GraphScale& scale = model.view().scale;
  testing::ScriptedUser user;
  QPointer<DisplayPanel> panel;
  int refreshRequests = 0;
  int graphRepaints = 0;
  int closings = 0;
};

TEST_F(DisplayPanelTest, OpensWithTheStartUpValuesAndTheMasterChannel) {
  model.session().masterChannel = 5;
  Open();
  EXPECT_EQ(Text("xScale"), "1.693220");
  EXPECT_EQ(Text("yScale"), "10.000000");
  EXPECT_EQ(Text("position"), "0");
  auto* combo = panel->findChild<QComboBox*>("masterChannel");
  ASSERT_EQ(combo->count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(combo->itemText(i), QStringLiteral("Canal %1").arg(i));
  EXPECT_EQ(combo->currentIndex(), 5);
  EXPECT_TRUE(Radio("manual")->isChecked());
  EXPECT_FALSE(Radio("automatic")->isChecked());
  EXPECT_FALSE(Edit("xScale")->isReadOnly());
  EXPECT_TRUE(panel->isVisible());
  EXPECT_EQ(refreshRequests, 0);
  EXPECT_EQ(panel->windowTitle(), "Affichage");
  // 81 x 164 dialog units.
  EXPECT_EQ(panel->size(), QSize(122, 267));
  EXPECT_TRUE(user.boxes().empty());
}

// A math operation makes its result the master channel: the refresh that
// follows shows it, without treating it as the user's choice.
TEST_F(DisplayPanelTest, RefreshShowsAMasterChannelChangedElsewhere) {
  Open();
  model.SetMasterChannel(3);
  EXPECT_EQ(panel->findChild<QComboBox*>("masterChannel")->currentIndex(), 3);
  EXPECT_EQ(refreshRequests, 1);  // the operation's own
}

TEST_F(DisplayPanelTest, TabGoesThroughTheComboBoxAndTheThreeEdits) {
  Open();
  auto* combo = panel->findChild<QComboBox*>("masterChannel");
  EXPECT_EQ(combo->nextInFocusChain(), Edit("xScale"));
  EXPECT_EQ(Edit("xScale")->nextInFocusChain(), Edit("yScale"));
  EXPECT_EQ(Edit("yScale")->nextInFocusChain(), Edit("position"));
}

TEST_F(DisplayPanelTest, ArrowsStepTheXScaleByOneHundredthAndRepaintTheGraph) {
  scale.pixelsPerSample = 1.0;
  Open();
  Click("xScaleArrows", "down");
  EXPECT_EQ(Text("xScale"), "0.990000");
  EXPECT_NEAR(scale.pixelsPerSample, 1.0 / 0.99, 1e-12);
  Click("xScaleArrows", "up", 3);
  EXPECT_EQ(Text("xScale"), "1.020000");
  EXPECT_EQ(graphRepaints, 4);
  EXPECT_EQ(refreshRequests, 0);  // no refit
}

TEST_F(DisplayPanelTest, UpArrowRaisesWithoutEndAndDownArrowLowersEveryTime) {
  scale.pixelsPerSample = 1.0;
  scale.pixelsPerVolt = 100.0;
  Open();
  // Far beyond any range an arrow control would keep.
  for (int i = 0; i < 250; ++i) {
    const double before = 1.0 / scale.pixelsPerSample;
    Click("xScaleArrows", "up");
    ASSERT_GT(1.0 / scale.pixelsPerSample, before) << "click " << i;
  }
  EXPECT_EQ(Text("xScale"), "3.500000");
  for (int i = 0; i < 250; ++i) {
    const std::int32_t before = scale.originY;
    Click("positionArrows", "down");
    ASSERT_EQ(scale.originY, before + 1) << "click " << i;
  }
  EXPECT_EQ(Text("position"), "-250");
  for (int i = 0; i < 120; ++i) {
    const double before = 1000.0 / scale.pixelsPerVolt;
    Click("yScaleArrows", "down");
    ASSERT_LT(1000.0 / scale.pixelsPerVolt, before) << "click " << i;
  }
  EXPECT_EQ(Text("yScale"), "8.800000");
}

TEST_F(DisplayPanelTest, ScalesStopAtOneHundredthPerPixel) {
  scale.pixelsPerSample = 100.0;   // 0.01 sample per pixel
  scale.pixelsPerVolt = 100000.0;  // 0.01 mV per pixel
  Open();
  Click("xScaleArrows", "down", 3);
  EXPECT_EQ(scale.pixelsPerSample, 100.0);
  EXPECT_EQ(Text("xScale"), "0.010000");
  Click("yScaleArrows", "down", 3);
  EXPECT_EQ(scale.pixelsPerVolt, 100000.0);
  EXPECT_EQ(Text("yScale"), "0.010000");
  // From the floor the up arrow climbs again.
  Click("xScaleArrows", "up");
  EXPECT_EQ(Text("xScale"), "0.020000");
  Click("yScaleArrows", "up");
  EXPECT_EQ(Text("yScale"), "0.020000");
}

TEST_F(DisplayPanelTest, PositionUpArrowMovesTheZeroLineUp) {
  Open();
  Click("positionArrows", "up", 3);
  EXPECT_EQ(scale.originY, 147);
  EXPECT_EQ(Text("position"), "3");
}

TEST_F(DisplayPanelTest, UpAndDownKeysInAnEditStepItsScale) {
  scale.pixelsPerSample = 1.0;
  Open();
  QTest::keyClick(Edit("xScale"), Qt::Key_Up);
  EXPECT_EQ(Text("xScale"), "1.010000");
  QTest::keyClick(Edit("position"), Qt::Key_Down);
  EXPECT_EQ(scale.originY, 151);
  EXPECT_EQ(graphRepaints, 2);
}

TEST_F(DisplayPanelTest, ArrowsActInAutomaticModeToo) {
  scale.autoScale = true;
  scale.pixelsPerSample = 1.0;
  Open();
  Click("xScaleArrows", "down");
  EXPECT_EQ(Text("xScale"), "0.990000");
}

TEST_F(DisplayPanelTest, EnterAppliesTypedValuesInManualMode) {
  Open();
  Type("xScale", "2");
  Type("yScale", "20");
  Type("position", "15");
  QTest::keyClick(Edit("position"), Qt::Key_Return);
  EXPECT_EQ(scale.pixelsPerSample, 0.5);
  EXPECT_EQ(scale.pixelsPerVolt, 50.0);
  EXPECT_EQ(scale.originY, 150 - 15);
  EXPECT_EQ(refreshRequests, 1);
  EXPECT_EQ(Text("xScale"), "2.000000");
  EXPECT_EQ(Text("yScale"), "20.000000");
  EXPECT_EQ(Text("position"), "15");
  EXPECT_TRUE(user.boxes().empty());
}

TEST_F(DisplayPanelTest, EnterWithoutEditingTakesTheShownDecimals) {
  Open();
  QTest::keyClick(Edit("xScale"), Qt::Key_Enter);
  EXPECT_EQ(scale.pixelsPerSample, 1.0 / 1.693220);
  EXPECT_EQ(scale.pixelsPerVolt, 100.0);
  EXPECT_EQ(scale.originY, 150);
}

TEST_F(DisplayPanelTest, EnterAppliesFromAnyControlOfThePanel) {
  Open();
  Type("xScale", "4");
  QTest::keyClick(panel->findChild<QComboBox*>("masterChannel"), Qt::Key_Return);
  EXPECT_EQ(scale.pixelsPerSample, 0.25);
  Type("xScale", "5");
  QTest::keyClick(Radio("manual"), Qt::Key_Return);
  EXPECT_EQ(scale.pixelsPerSample, 0.2);
  EXPECT_EQ(refreshRequests, 2);
  EXPECT_EQ(model.session().masterChannel, 0);
}

TEST_F(DisplayPanelTest, TypedNumbersReadAsTheDecimalConversionReadsThem) {
  Open();
  Type("xScale", "  4.5 px");
  Type("yScale", "+2.5e1");
  Type("position", "-7abc");
  QTest::keyClick(Edit("xScale"), Qt::Key_Return);
  EXPECT_EQ(scale.pixelsPerSample, 1.0 / 4.5);
  EXPECT_EQ(scale.pixelsPerVolt, 40.0);
  EXPECT_EQ(scale.originY, 157);
}

TEST_F(DisplayPanelTest, RefusesTypedScalesThatAreNotNumbersAboveZero) {
  const char* const refused[] = {"", "abc", "0", "0.000", "-1", "nan", "inf", ".e5"};
  for (const char* edit : {"xScale", "yScale"}) {
    for (const char* text : refused) {
      SCOPED_TRACE(std::string(edit) + " = \"" + text + "\"");
      model.session() = Session{};
      model.view() = ViewState{};
      scale.originY = 150;
      user = testing::ScriptedUser{};
      refreshRequests = 0;
      delete panel.data();
      Open();
      Type(edit, text);
      Type("position", "40");
      QTest::keyClick(Edit(edit), Qt::Key_Return);
      ASSERT_EQ(user.boxes().size(), 1u);
      EXPECT_EQ(user.boxes()[0].caption, "AFFICHAGE");
      EXPECT_EQ(user.boxes()[0].icon, MessageIcon::kError);
      EXPECT_EQ(user.boxes()[0].buttons, MessageButtons::kOk);
      const std::string label = edit == std::string("xScale") ? "Echelle en X" : "Echelle en Y";
      EXPECT_NE(user.boxes()[0].text.find(label), std::string::npos) << user.boxes()[0].text;
      // Nothing applied, not even the valid position.
      EXPECT_EQ(scale.pixelsPerSample, 0.5905907);
      EXPECT_EQ(scale.pixelsPerVolt, 100.0);
      EXPECT_EQ(scale.originY, 150);
      EXPECT_EQ(refreshRequests, 0);
    }
  }
}

TEST_F(DisplayPanelTest, AutomatiqueLocksTheEditsAndRefitsManuelUnlocksWithoutRefit) {
  Open();
  QTest::mouseClick(Radio("automatic"), Qt::LeftButton);
  EXPECT_TRUE(scale.autoScale);
  EXPECT_TRUE(Radio("automatic")->isChecked());
  EXPECT_FALSE(Radio("manual")->isChecked());
  EXPECT_EQ(refreshRequests, 1);
  for (const char* name : {"xScale", "yScale", "position"}) {
    EXPECT_TRUE(Edit(name)->isReadOnly()) << name;
    // Locked edits still take the focus.
    EXPECT_NE(Edit(name)->focusPolicy() & Qt::TabFocus, 0) << name;
    EXPECT_TRUE(Edit(name)->isEnabled()) << name;
  }
  QTest::keyClicks(Edit("xScale"), "9");
  EXPECT_EQ(Text("xScale"), "1.693220");

  QTest::mouseClick(Radio("manual"), Qt::LeftButton);
  EXPECT_FALSE(scale.autoScale);
  EXPECT_TRUE(Radio("manual")->isChecked());
  EXPECT_FALSE(Radio("automatic")->isChecked());
  EXPECT_EQ(refreshRequests, 1);
  EXPECT_FALSE(Edit("xScale")->isReadOnly());
}

TEST_F(DisplayPanelTest, OpensLockedInAutomaticMode) {
  scale.autoScale = true;
  Open();
  EXPECT_TRUE(Radio("automatic")->isChecked());
  EXPECT_TRUE(Edit("yScale")->isReadOnly());
}

TEST_F(DisplayPanelTest, ChoosingAChannelMakesItTheMaster) {
  Open();
  auto* combo = panel->findChild<QComboBox*>("masterChannel");
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);
  EXPECT_EQ(model.session().masterChannel, 1);
  EXPECT_EQ(refreshRequests, 1);
  combo->setCurrentIndex(6);
  EXPECT_EQ(model.session().masterChannel, 6);
  EXPECT_EQ(refreshRequests, 2);
}

TEST_F(DisplayPanelTest, RefreshReplacesTextNotYetApplied) {
  Open();
  Type("xScale", "7");
  scale.originY = 100;
  model.TellViewRefreshed();
  EXPECT_EQ(Text("xScale"), "1.693220");
  EXPECT_EQ(Text("position"), "50");
}

TEST_F(DisplayPanelTest, EscapeKeepsThePanelOpen) {
  Open();
  QTest::keyClick(Edit("xScale"), Qt::Key_Escape);
  EXPECT_TRUE(panel->isVisible());
}

TEST_F(DisplayPanelTest, ClosingSaysSoAndDestroysThePanel) {
  Open();
  EXPECT_EQ(closings, 0);
  panel->close();
  EXPECT_EQ(closings, 1);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(panel.isNull());
  // A panel opened again is shown again.
  Open();
  EXPECT_TRUE(panel->isVisible());
  EXPECT_EQ(closings, 1);
}

}  // namespace
}  // namespace tavril
