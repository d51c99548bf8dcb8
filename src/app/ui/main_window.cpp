#include "app/ui/main_window.h"
