#include "display/ui/info_strip_widget.h"
