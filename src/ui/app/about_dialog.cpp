#include "ui/app/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/common/app_icon.h"

namespace tavril {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("A propos"));

  auto* icon = new QLabel;
  icon->setPixmap(TavrilIcon().pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* name = new QLabel(QStringLiteral("TAVRIL"));
  QFont nameFont = name->font();
  nameFont.setBold(true);
  nameFont.setPointSizeF(nameFont.pointSizeF() * 1.4);
  name->setFont(nameFont);

  auto* texts = new QVBoxLayout;
  texts->addWidget(name);
  texts->addWidget(new QLabel(QStringLiteral("Version 1.0")));
  texts->addSpacing(8);
  texts->addWidget(new QLabel(QStringLiteral("Ecrit par :")));
  texts->addWidget(new QLabel(QStringLiteral("L'équipe TAVRIL")));
  texts->addWidget(new QLabel(QStringLiteral("Projet TAVRIL")));
  texts->addSpacing(8);
  texts->addWidget(new QLabel(QStringLiteral("Dernière révision le 26/06/99")));

  auto* body = new QHBoxLayout;
  body->addWidget(icon);
  body->addSpacing(12);
  body->addLayout(texts);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tavril
