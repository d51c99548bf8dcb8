#include <stdexcept>

#include "bindings.h"

namespace tavril::python {
namespace {

// What a refusal of the core becomes in Python: tavril.Error.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace

void RaiseError(const std::string& message) {
  throw Error(message);
}

void BindErrors(py::module_& m) {
  py::register_exception<Error>(m, "Error", PyExc_Exception);
  m.attr("Error").attr("__doc__") =
      "What TAVRIL refused or what failed, with the same French message as the\n"
      "window program and tavril-cli give (str(error)).";
}

}  // namespace tavril::python
