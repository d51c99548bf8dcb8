#pragma once

#include <string>
#include <vector>

namespace tavril::testing {

// Rows of a fault-injection matrix, printed as a Markdown table once a test
// has checked them, so that the table in the notes can be regenerated.
class MatrixTable {
 public:
  explicit MatrixTable(std::vector<std::string> columns) : columns_(std::move(columns)) {}
  void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  std::string Markdown() const;

 private:
  std::vector<std::string> columns_;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace tavril::testing
