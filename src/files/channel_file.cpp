#include "files/channel_file.h"

namespace tavril {}  // namespace tavril
