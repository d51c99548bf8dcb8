#include "acquisition/ui/acquisition_panel.h"
