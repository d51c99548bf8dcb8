#include "ui/common/app_icon.h"

namespace tavril {

QIcon TavrilIcon() {
  QIcon icon;
  for (const int size : {16, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/tavril/icons/tavril-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace tavril
