#include "display/ui/graph_widget.h"
