#pragma once

#include <hdf5.h>

#include <mutex>
#include <string>
#include <string_view>

namespace tavril {

// An HDF5 identifier that closes itself: no path out of a function leaks a
// file, group, dataset, dataspace, type, attribute or property list.
template <herr_t (*CloseId)(hid_t)>
class Hdf5Id {
 public:
  Hdf5Id() = default;
  explicit Hdf5Id(hid_t id) : id_(id) {}
  ~Hdf5Id() { Close(); }
  Hdf5Id(Hdf5Id&& other) noexcept : id_(other.id_) { other.id_ = H5I_INVALID_HID; }
  Hdf5Id& operator=(Hdf5Id&& other) noexcept {
    if (this != &other) {
      Close();
      id_ = other.id_;
      other.id_ = H5I_INVALID_HID;
    }
    return *this;
  }
  Hdf5Id(const Hdf5Id&) = delete;
  Hdf5Id& operator=(const Hdf5Id&) = delete;

  hid_t get() const { return id_; }
  bool valid() const { return id_ >= 0; }

  // False when closing failed (for a file written: flushing it failed).
  bool Close() {
    if (id_ < 0) return true;
    const herr_t status = CloseId(id_);
    id_ = H5I_INVALID_HID;
    return status >= 0;
  }

 private:
  hid_t id_ = H5I_INVALID_HID;
};

using Hdf5File = Hdf5Id<H5Fclose>;
using Hdf5Group = Hdf5Id<H5Gclose>;
using Hdf5Dataset = Hdf5Id<H5Dclose>;
using Hdf5Dataspace = Hdf5Id<H5Sclose>;
using Hdf5Type = Hdf5Id<H5Tclose>;  // only types the program made or got from a file
using Hdf5Attribute = Hdf5Id<H5Aclose>;
using Hdf5PropertyList = Hdf5Id<H5Pclose>;
using Hdf5Object = Hdf5Id<H5Oclose>;  // any object, whatever its type

// Memory HDF5 allocated for the program (a variable-length string read).
class Hdf5Memory {
 public:
  Hdf5Memory() = default;
  ~Hdf5Memory() {
    if (pointer_ != nullptr) H5free_memory(pointer_);
  }
  Hdf5Memory(const Hdf5Memory&) = delete;
  Hdf5Memory& operator=(const Hdf5Memory&) = delete;

  char** slot() { return &pointer_; }
  const char* get() const { return pointer_; }

 private:
  char* pointer_ = nullptr;
};

// Held around every use of the library: the serial HDF5 build is not thread
// safe, and its automatic error printing is turned off, since its errors
// reach the user as French messages (Hdf5Failure) instead.
class Hdf5Use {
 public:
  Hdf5Use();
  Hdf5Use(const Hdf5Use&) = delete;
  Hdf5Use& operator=(const Hdf5Use&) = delete;

 private:
  std::lock_guard<std::mutex> lock_;
};

// `what` (what the program was doing, in French), then the cause the
// library's error stack gives for the call that just failed, in French
// ("fichier tronqué", "erreur d'écriture"...). Clears the stack.
std::string Hdf5Failure(std::string_view what);

}  // namespace tavril
