#include "ui/processing/math_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <optional>
#include <string>

#include "model/messages.h"
#include "ui/common/dialog_units.h"

namespace tavril {
namespace {

constexpr const char* kErrorCaption = messages::kErreur;

QListWidget* MakeChannelList(QWidget* parent, const char* name, QRect geometry) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QLatin1String(name));
  list->setGeometry(geometry);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  for (int i = 0; i < kChannelCount; ++i) {
    list->addItem(QStringLiteral("Canal %1").arg(i));
  }
  ShowWholeRows(*list);
  return list;
}

// Selects entry `channel`, or nothing when it names no channel (-1 after an
// integration was confirmed).
void SelectChannel(QListWidget* list, int channel) {
  if (channel >= 0 && channel < kChannelCount) {
    list->setCurrentRow(channel, QItemSelectionModel::ClearAndSelect);
  } else {
    list->clearSelection();
    list->setCurrentRow(-1, QItemSelectionModel::Clear);
  }
}

int SelectedChannel(const QListWidget* list) {
  const QList<QListWidgetItem*> items = list->selectedItems();
  if (items.isEmpty()) return -1;
  return list->row(items.front());
}

}  // namespace

MathDialog::MathDialog(SessionModel& model, MathDialogMemory& memory, UserInteraction& user,
                       QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowStaysOnTopHint),
      model_(model),
      memory_(memory),
      user_(user) {
  setWindowTitle(QStringLiteral("Operations Mathématiques"));
  setFont(DialogFont());
  setFixedSize(DialogSize(341, 95));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setGeometry(DialogRect(284, 7, 50, 14));
  ok->setDefault(true);
  ok->setAutoDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Annuler"), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  cancel->setGeometry(DialogRect(284, 24, 50, 14));
  cancel->setAutoDefault(false);

  // The frame sits behind the two integration buttons and is not their
  // parent, so that all six buttons stay one exclusive group.
  auto* integralFrame = new QGroupBox(QStringLiteral("Intégrale"), this);
  integralFrame->setGeometry(DialogRect(70, 53, 58, 34));
  integralFrame->setFocusPolicy(Qt::NoFocus);
  integralFrame->lower();

  struct RadioTemplate {
    MathOperation op;
    const char* text;
    int x, y, width, height;
  };
  static constexpr RadioTemplate kRadios[] = {
      {MathOperation::kSum, "+ (Somme)", 73, 7, 49, 10},
      {MathOperation::kDifference, "- (Soustraction)", 73, 18, 63, 10},
      {MathOperation::kProduct, "* (Produit)", 73, 29, 47, 10},
      {MathOperation::kQuotient, "/ (Division)", 73, 40, 50, 10},
      {MathOperation::kRectangle, "Rectangle", 73, 63, 49, 10},
      {MathOperation::kMidpoint, "Point milieu", 73, 73, 51, 10},
  };
  operations_ = new QButtonGroup(this);
  operations_->setExclusive(true);
  QRadioButton* radios[std::size(kRadios)] = {};
  for (std::size_t i = 0; i < std::size(kRadios); ++i) {
    const RadioTemplate& t = kRadios[i];
    auto* radio = new QRadioButton(QString::fromUtf8(t.text), this);
    // Buttons are known by the operation's code: the group's ids are integers.
    const int code = MathOperationCode(t.op);
    radio->setObjectName(QStringLiteral("operation%1").arg(code));
    radio->setGeometry(DialogRect(t.x, t.y, t.width, t.height));
    operations_->addButton(radio, code);
    radios[i] = radio;
  }
  // The quotient is shown but never offered from this dialog.
  radios[3]->setEnabled(false);

  auto* equals = new QLabel(QStringLiteral("="), this);
  equals->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  equals->setGeometry(DialogRect(204, 40, 8, 8));

  listResult_ = MakeChannelList(this, "resultList", DialogRect(218, 7, 60, 81));
  listB_ = MakeChannelList(this, "operandBList", DialogRect(140, 7, 60, 81));
  listA_ = MakeChannelList(this, "operandAList", DialogRect(7, 7, 60, 81));

  // The template's order: OK, Annuler, the operations, then the lists from
  // the result back to operand A.
  QWidget* tabOrder[] = {ok,        cancel,    radios[0],   radios[1], radios[2], radios[3],
                         radios[4], radios[5], listResult_, listB_,    listA_};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
    setTabOrder(tabOrder[i - 1], tabOrder[i]);
  }

  SelectChannel(listA_, memory_.operandA);
  SelectChannel(listB_, memory_.operandB);
  SelectChannel(listResult_, memory_.resultChannel);
  operations_->button(MathOperationCode(memory_.operation))->setChecked(true);
  ok->setFocus();

  connect(operations_, &QButtonGroup::idClicked, this, &MathDialog::OnOperationClicked);
  connect(ok, &QPushButton::clicked, this, &MathDialog::OnOk);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void MathDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (const QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

void MathDialog::OnOperationClicked(int code) {
  const std::optional<MathOperation> op = MathOperationFromCode(code);
  if (op && TakesSecondOperand(*op)) {
    // The saved operand, not a pick made since the dialog opened.
    SelectChannel(listB_, memory_.operandB);
  } else {
    SelectChannel(listB_, -1);
  }
}

bool MathDialog::CheckSelections(MathOperation op, int a, int b, int r) {
  std::string missing;
  if (a < 0) {
    missing = messages::kNoOperandA;
  } else if (TakesSecondOperand(op) && b < 0) {
    missing = messages::kNoOperandB;
  } else if (r < 0) {
    missing = messages::kNoResultChannel;
  }
  if (missing.empty()) return true;
  user_.ShowMessage({missing, kErrorCaption, MessageIcon::kError, MessageButtons::kOk});
  return false;
}

void MathDialog::OnOk() {
  // A run started while the dialog was open fills the records.
  if (const std::string why = WhyItWaitsForTheRun(model_.acquisitionState(), RunNeed::kRecords);
      !why.empty()) {
    user_.ShowMessage({why, messages::kAttention, MessageIcon::kExclamation, MessageButtons::kOk});
    return;
  }
  const int a = SelectedChannel(listA_);
  const int b = SelectedChannel(listB_);
  const int r = SelectedChannel(listResult_);
  const MathOperation op =
      MathOperationFromCode(operations_->checkedId()).value_or(memory_.operation);

  // Refused before anything is saved, so that the records are never indexed
  // with a missing channel.
  if (!CheckSelections(op, a, b, r)) return;

  memory_.operandA = a;
  memory_.operandB = b;
  memory_.resultChannel = r;
  memory_.operation = op;

  Session& session = model_.session();
  ChannelTable& channels = session.channels;
  // An integration reads no B, and B may then name no channel.
  const ChannelRecord& operandB = TakesSecondOperand(op) ? channels[b] : channels[a];
  ChannelRecord& result = channels[r];
  const MathResult outcome = RunMathOperation(op, channels[a], operandB, result);
  // A refused combination left the record as it was: its old title still
  // describes what it holds.
  if (outcome != MathResult::kRatesDiffer) {
    const std::string nameA = "Canal " + std::to_string(a);
    result.title = MathResultTitle(op, nameA, "Canal " + std::to_string(b), "du " + nameA);
  }

  const std::string message = MathResultMessage(outcome, MathChannels{a, b, r});
  if (!message.empty()) {
    user_.ShowMessage({message, kErrorCaption, MessageIcon::kError, MessageButtons::kOk});
  }

  // One signal for both changes, so that the main window refreshes once.
  session.masterChannel = r;
  model_.TellRecordsChanged();
  done(1);
}

}  // namespace tavril
