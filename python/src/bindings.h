#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/channel_record.h"

// What each file of the module binds, and what they share.
namespace tavril::python {

namespace py = pybind11;

// A record as Python holds it: shared, so that a numpy array of its samples
// keeps it alive; `slot` is its place in a file of several channels.
struct Record {
  ChannelRecord record;
  std::optional<int> slot;
};
using RecordHandle = std::shared_ptr<Record>;

// Raises tavril.Error with `message` (French, UTF-8).
[[noreturn]] void RaiseError(const std::string& message);

// Runs `work` on a thread of its own, the GIL released, while this thread
// checks for signals every few milliseconds. On Ctrl+C `interrupt` is called
// (the GIL released; it must make `work` end soon), `work` is waited for and
// KeyboardInterrupt raised.
void RunInterruptibly(const std::function<void()>& work, const std::function<void()>& interrupt);

// Times as Python sees them: a datetime in UTC (microseconds), and nanoseconds
// since 1970.
py::object DateTimeOf(std::chrono::system_clock::time_point time);
std::int64_t NanosecondsOf(std::chrono::system_clock::time_point time);

// Samples [first, first + count) of a record as numpy volts, a copy.
py::array_t<double> CopiedVolts(const std::vector<double>& volts);

// The record of a Python Record argument, or tavril.Error.
RecordHandle MakeRecord(ChannelRecord record, std::optional<int> slot);

void BindErrors(py::module_& m);
void BindRecords(py::module_& m);
void BindFiles(py::module_& m);
void BindAnalysis(py::module_& m);
void BindOutputs(py::module_& m);
void BindBoards(py::module_& m);
void BindRecordings(py::module_& m);

}  // namespace tavril::python
