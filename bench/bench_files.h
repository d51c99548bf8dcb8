#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "model/user_interaction.h"

// Answers yes to every question: a benchmark replaces its own files.
class AlwaysReplace : public tavril::UserInteraction {
 public:
  tavril::MessageAnswer ShowMessage(const tavril::MessageBoxRequest&) override {
    return tavril::MessageAnswer::kYes;
  }
};

// A temporary folder of this run's own, made on first use.
inline const std::filesystem::path& BenchFolder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavril-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return std::filesystem::path(pattern);
  }();
  return folder;
}
