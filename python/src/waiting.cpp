#include <Python.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "bindings.h"

namespace tavril::python {
namespace {

// How often a wait looks at Python's signals: Ctrl+C answered within this.
constexpr auto kSignalCheck = std::chrono::milliseconds(20);

}  // namespace

void RunInterruptibly(const std::function<void()>& work, const std::function<void()>& interrupt) {
  std::exception_ptr failure;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  {
    py::gil_scoped_release released;
    std::thread worker([&] {
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard lock(mutex);
      done = true;
      finished.notify_all();
    });
    for (;;) {
      {
        std::unique_lock lock(mutex);
        if (finished.wait_for(lock, kSignalCheck, [&] { return done; })) break;
      }
      bool signalled = false;
      {
        py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0) {
          PyErr_Fetch(&type, &value, &traceback);
          signalled = true;
        }
      }
      if (signalled) {
        interrupt();
        break;
      }
    }
    worker.join();
  }
  if (type != nullptr) {
    PyErr_Restore(type, value, traceback);
    throw py::error_already_set();
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tavril::python
