#pragma once

#include <vector>

#include "ui/common/file_dialogs.h"

class QFileDialog;

namespace tavril {

// Gives `dialog` the filters, selects the one at `number` (from 1; any other
// number keeps the first) and keeps the listing true to the selected filter
// whenever the user picks another: Qt reads "*.*" literally and would hide
// names without a dot, and an executables filter has no pattern Qt can apply.
void ApplyFileFilters(QFileDialog& dialog, const std::vector<FileFilter>& filters, int number);

// The number (from 1) of the filter selected in `dialog`, 0 when none is.
int SelectedFilterNumber(const QFileDialog& dialog, const std::vector<FileFilter>& filters);

}  // namespace tavril
