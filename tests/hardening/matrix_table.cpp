#include "matrix_table.h"

namespace tavril::testing {
namespace {

void AppendRow(std::string& out, const std::vector<std::string>& cells) {
  out += '|';
  for (const std::string& cell : cells) out += ' ' + cell + " |";
  out += '\n';
}

}  // namespace

std::string MatrixTable::Markdown() const {
  std::string out;
  AppendRow(out, columns_);
  AppendRow(out, std::vector<std::string>(columns_.size(), "---"));
  for (const auto& row : rows_) AppendRow(out, row);
  return out;
}

}  // namespace tavril::testing
