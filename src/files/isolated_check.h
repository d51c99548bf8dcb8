#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tavril {

// Runs `check` in a child process of its own, so that a library that
// crashes, or loops forever, on a damaged file takes down the child and not
// the program. True only when `check` returned true; false with the reason in
// `why`: the one `check` gave (carried back through a pipe), or, when the
// child died or ran past `timeLimit`, a sentence that names `library` and
// says what happened. The child shares nothing the check changes with the
// caller and ends without running exit handlers.
bool CheckInChildProcess(const std::function<bool(std::string& why)>& check,
                         std::chrono::milliseconds timeLimit, const char* library,
                         std::string* why);

// The same for a check that reads the file at `path`, given seconds for its
// structure and the time to read every byte slowly. The memory of
// `parentOnly`, which the check never touches and the caller writes next, is
// left out of the child: a child shares the caller's pages until either
// writes them, and each page written afterwards would cost a fault.
bool CheckFileInChildProcess(const std::filesystem::path& path, const char* library,
                             const std::function<bool(std::string& why)>& check, std::string* why,
                             std::span<const std::vector<double>* const> parentOnly = {});

}  // namespace tavril
