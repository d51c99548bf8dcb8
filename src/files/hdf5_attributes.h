#pragma once

#include <hdf5.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/hdf5_handles.h"

namespace tavril {

// Attributes of one object of a file being written. Every write stops at the
// first failure, whose French message why() then gives.
class Hdf5AttributeWriter {
 public:
  explicit Hdf5AttributeWriter(hid_t object) : object_(object) {}

  // An integer stored as `fileType` (H5T_STD_I16LE, H5T_STD_U32LE...).
  Hdf5AttributeWriter& Integer(const char* name, hid_t fileType, std::int64_t value);
  Hdf5AttributeWriter& Double(const char* name, double value);
  // A fixed-length UTF-8 string, exactly as long as `text`: unlike a
  // variable-length one it needs no global heap, whose reading in libhdf5
  // 1.10 hangs or crashes when the file is damaged. h5py reads it as bytes.
  Hdf5AttributeWriter& Utf8(const char* name, std::string_view text);
  // A one-dimensional array of bytes.
  Hdf5AttributeWriter& Bytes(const char* name, std::span<const std::uint8_t> values);
  // A one-dimensional array of float64.
  Hdf5AttributeWriter& Doubles(const char* name, std::span<const double> values);

  bool ok() const { return why_.empty(); }
  const std::string& why() const { return why_; }

 private:
  bool Write(const char* name, hid_t fileType, hid_t space, hid_t memoryType, const void* value);

  hid_t object_;
  std::string why_;
};

// Attributes of one object of a file being read, each checked before it is
// read: present, of the expected class, one value (or the expected number),
// within range. A refusal's French message names the attribute and `of`,
// the object as a sentence says it ("du fichier", "de /channels/channel_3").
class Hdf5AttributeReader {
 public:
  Hdf5AttributeReader(hid_t object, std::string of) : object_(object), of_(std::move(of)) {}

  bool Has(const char* name) const;
  // Any integer type, within [min, max].
  bool Integer(const char* name, std::int64_t min, std::int64_t max, std::int64_t& value);
  // A floating-point number; an integer is taken too (h5py stores 1000 as one).
  bool Double(const char* name, double& value);
  // A string, fixed or variable length, of at most `maxBytes` bytes.
  bool String(const char* name, std::size_t maxBytes, std::string& value);
  // Exactly values.size() integers, each 0 or 1.
  bool Flags(const char* name, std::span<bool> values);
  // One to `maxCount` floating-point numbers.
  bool Doubles(const char* name, std::size_t maxCount, std::vector<double>& values);

  const std::string& why() const { return why_; }

 private:
  // Opens the attribute and checks its type's class (one of `classes`; the
  // refusal says `expected`) and its number of values: `points`, or any from
  // 1 to -points when negative.
  bool Open(const char* name, std::initializer_list<H5T_class_t> classes, const char* expected,
            hssize_t points, Hdf5Attribute& attribute, Hdf5Type& type);
  bool Refuse(const char* name, const std::string& what);

  hid_t object_;
  std::string of_;
  std::string why_;
};

}  // namespace tavril
