#include "ui/processing/math_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <string>
#include <utility>

#include "ui/common/dialog_units.h"
#include "processing/channel_arithmetic.h"

namespace tavril {
namespace {

constexpr const char* kErrorCaption = "ERREUR";

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

bool IsTwoChannelOperation(int op) {
  return op >= kOpSum && op <= kOpQuotient;
}

std::string ResultTitle(int op, int a, int b) {
  const std::string channelA = "Canal " + std::to_string(a);
  const std::string channelB = "Canal " + std::to_string(b);
  switch (op) {
    case kOpSum:
      return channelA + " + " + channelB;
    case kOpDifference:
      return channelA + " - " + channelB;
    case kOpProduct:
      return channelA + " * " + channelB;
    case kOpQuotient:
      return channelA + " / " + channelB;
    case kOpRectangle:
      return "Integrale du Canal " + std::to_string(a) + " (Rectangle)";
    case kOpMidpoint:
      return "Integrale du Canal " + std::to_string(a) + " (Point milieu)";
    default:
      return {};
  }
}

}  // namespace

MathDialog::MathDialog(AppState& state, UserInteraction& user, std::function<void()> requestRefresh,
                       QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowStaysOnTopHint),
      state_(state),
      user_(user),
      requestRefresh_(std::move(requestRefresh)) {
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
    int op;
    const char* text;
    int x, y, width, height;
  };
  static constexpr RadioTemplate kRadios[] = {
      {kOpSum, "+ (Somme)", 73, 7, 49, 10},
      {kOpDifference, "- (Soustraction)", 73, 18, 63, 10},
      {kOpProduct, "* (Produit)", 73, 29, 47, 10},
      {kOpQuotient, "/ (Division)", 73, 40, 50, 10},
      {kOpRectangle, "Rectangle", 73, 63, 49, 10},
      {kOpMidpoint, "Point milieu", 73, 73, 51, 10},
  };
  operations_ = new QButtonGroup(this);
  operations_->setExclusive(true);
  QRadioButton* radios[std::size(kRadios)] = {};
  for (std::size_t i = 0; i < std::size(kRadios); ++i) {
    const RadioTemplate& t = kRadios[i];
    auto* radio = new QRadioButton(QString::fromUtf8(t.text), this);
    radio->setObjectName(QStringLiteral("operation%1").arg(t.op));
    radio->setGeometry(DialogRect(t.x, t.y, t.width, t.height));
    operations_->addButton(radio, t.op);
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

  const MathDialogState& saved = state_.mathDialog;
  SelectChannel(listA_, saved.operandA);
  SelectChannel(listB_, saved.operandB);
  SelectChannel(listResult_, saved.resultChannel);
  if (QAbstractButton* checked = operations_->button(saved.op)) {
    checked->setChecked(true);
  } else {
    user_.ShowMessage(
        {"La variable OP ne peut pas avoir cette valeur\nop=" + std::to_string(saved.op), "ERREUR!",
         MessageIcon::kError, MessageButtons::kOk});
  }
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

void MathDialog::OnOperationClicked(int op) {
  if (IsTwoChannelOperation(op)) {
    // The saved operand, not a pick made since the dialog opened.
    SelectChannel(listB_, state_.mathDialog.operandB);
  } else {
    SelectChannel(listB_, -1);
  }
}

bool MathDialog::CheckSelections(int op, int a, int b, int r) {
  std::string missing;
  if (op >= kOpSum && op <= kOpMidpoint && a < 0) {
    missing =
        "Aucun canal n'est sélectionné pour l'opérande A.\n"
        "Choisissez-en un dans la première liste.";
  } else if (IsTwoChannelOperation(op) && b < 0) {
    missing =
        "Aucun canal n'est sélectionné pour l'opérande B.\n"
        "Choisissez-en un dans la deuxième liste.";
  } else if (r < 0) {
    missing =
        "Aucun canal n'est sélectionné pour le résultat.\n"
        "Choisissez-en un dans la troisième liste.";
  }
  if (missing.empty()) return true;
  user_.ShowMessage({missing, kErrorCaption, MessageIcon::kError, MessageButtons::kOk});
  return false;
}

int MathDialog::RunOperation(int op, int a, int b, int r) {
  ChannelTable& table = state_.channels;
  switch (op) {
    case kOpSum:
    case kOpDifference:
    case kOpProduct:
    case kOpQuotient:
      return CombineChannels(table[a], table[b], table[r], op);
    case kOpRectangle:
      return IntegrateRectangle(table[a], table[r]);
    case kOpMidpoint:
      return IntegrateMidpoint(table[a], table[r]);
    default:
      user_.ShowMessage({"La variable OP ne peut pas avoir cette valeur\nop=" + std::to_string(op) +
                             "\n\nCette opérateur n'existe pas!!!",
                         "ERREUR!", MessageIcon::kError, MessageButtons::kOk});
      return kMathOk;
  }
}

void MathDialog::OnOk() {
  const int a = SelectedChannel(listA_);
  const int b = SelectedChannel(listB_);
  const int r = SelectedChannel(listResult_);
  int op = state_.mathDialog.op;
  if (operations_->checkedId() != -1) op = operations_->checkedId();

  // Refused before anything is saved, so that the table is never indexed
  // with a missing channel.
  if (!CheckSelections(op, a, b, r)) return;

  MathDialogState& saved = state_.mathDialog;
  saved.operandA = a;
  saved.operandB = b;
  saved.resultChannel = r;
  saved.op = op;

  const int code = RunOperation(op, a, b, r);
  ChannelRecord& result = state_.channels[r];
  // A refused combination left the record as it was: its old title still
  // describes what it holds.
  if (code != kMathRatesDiffer) {
    const std::string title = ResultTitle(op, a, b);
    if (!title.empty()) result.title = title.substr(0, kMaxTitleBytes);
  }

  std::string message;
  switch (code) {
    case kMathOk:
      break;
    case kMathBadOperation:
      message = "Problème de signe";
      break;
    case kMathNoMemory:
      message = "Problème d'allocation mémoire";
      break;
    case kMathRatesDiffer:
      message = "Les canaux " + std::to_string(a) + " et " + std::to_string(b) +
                " n'ont pas la même fréquence d'échantillonnage.\nLe canal " + std::to_string(r) +
                " n'a pas été modifié.";
      break;
    default:
      message = "Code d'erreur inconnu";
      break;
  }
  if (!message.empty()) {
    user_.ShowMessage({message, kErrorCaption, MessageIcon::kError, MessageButtons::kOk});
  }

  state_.masterChannel = r;
  if (requestRefresh_) requestRefresh_();
  done(1);
}

}  // namespace tavril
