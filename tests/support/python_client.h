#pragma once

#include <filesystem>
#include <string>

namespace tavril::testing {

// Debian's Python (not the first python3 on PATH), which has h5py and numpy.
inline constexpr const char* kSystemPython = "/usr/bin/python3";

// True when kSystemPython imports every module of `modules` ("h5py, numpy").
bool PythonHas(const std::string& modules);

// Runs `script` with kSystemPython in `folder` and gives what it printed;
// a failing script is a test failure, with its error output.
std::string RunPython(const std::filesystem::path& folder, const std::string& script);

// Runs a shell command; its standard output, or a test failure.
std::string RunCommand(const std::string& command);

std::string ShellQuoted(const std::string& text);

}  // namespace tavril::testing
