#pragma once

#include <QIcon>

namespace tavril {

// The program's icon: a graph with two curves and the measuring cursors.
QIcon TavrilIcon();

}  // namespace tavril
