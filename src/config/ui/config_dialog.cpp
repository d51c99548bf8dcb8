#include "config/ui/config_dialog.h"
