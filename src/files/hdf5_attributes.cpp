#include "files/hdf5_attributes.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tavril {
namespace {

std::string Named(const char* name) {
  return std::string("« ") + name + " »";
}

// Larger numbers than this are no type the program reads (a damaged type).
constexpr std::size_t kMaxNumberBytes = 16;

}  // namespace

Hdf5AttributeWriter& Hdf5AttributeWriter::Integer(const char* name, hid_t fileType,
                                                  std::int64_t value) {
  const Hdf5Dataspace space(H5Screate(H5S_SCALAR));
  Write(name, fileType, space.get(), H5T_NATIVE_INT64, &value);
  return *this;
}

Hdf5AttributeWriter& Hdf5AttributeWriter::Double(const char* name, double value) {
  const Hdf5Dataspace space(H5Screate(H5S_SCALAR));
  Write(name, H5T_IEEE_F64LE, space.get(), H5T_NATIVE_DOUBLE, &value);
  return *this;
}

Hdf5AttributeWriter& Hdf5AttributeWriter::Utf8(const char* name, std::string_view text) {
  const Hdf5Type type(H5Tcopy(H5T_C_S1));
  // A string type has at least one byte; padding with NULs keeps "" empty.
  if (type.valid() && H5Tset_size(type.get(), std::max<std::size_t>(text.size(), 1)) >= 0 &&
      H5Tset_strpad(type.get(), H5T_STR_NULLPAD) >= 0 &&
      H5Tset_cset(type.get(), H5T_CSET_UTF8) >= 0) {
    const std::string padded = text.empty() ? std::string(1, '\0') : std::string(text);
    const Hdf5Dataspace space(H5Screate(H5S_SCALAR));
    Write(name, type.get(), space.get(), type.get(), padded.data());
  } else if (ok()) {
    why_ = Hdf5Failure("type de chaîne UTF-8");
  }
  return *this;
}

Hdf5AttributeWriter& Hdf5AttributeWriter::Bytes(const char* name,
                                                std::span<const std::uint8_t> values) {
  const hsize_t size = values.size();
  const Hdf5Dataspace space(H5Screate_simple(1, &size, nullptr));
  Write(name, H5T_STD_U8LE, space.get(), H5T_NATIVE_UINT8, values.data());
  return *this;
}

Hdf5AttributeWriter& Hdf5AttributeWriter::Doubles(const char* name,
                                                  std::span<const double> values) {
  const hsize_t size = values.size();
  const Hdf5Dataspace space(H5Screate_simple(1, &size, nullptr));
  Write(name, H5T_IEEE_F64LE, space.get(), H5T_NATIVE_DOUBLE, values.data());
  return *this;
}

bool Hdf5AttributeWriter::Write(const char* name, hid_t fileType, hid_t space, hid_t memoryType,
                                const void* value) {
  if (!ok()) return false;
  const Hdf5Attribute attribute(
      space < 0 ? H5I_INVALID_HID
                : H5Acreate2(object_, name, fileType, space, H5P_DEFAULT, H5P_DEFAULT));
  if (!attribute.valid() || H5Awrite(attribute.get(), memoryType, value) < 0) {
    why_ = Hdf5Failure("écriture de l'attribut " + Named(name));
    return false;
  }
  return true;
}

bool Hdf5AttributeReader::Refuse(const char* name, const std::string& what) {
  why_ = "l'attribut " + Named(name) + " " + of_ + " " + what;
  return false;
}

bool Hdf5AttributeReader::Has(const char* name) const {
  return H5Aexists(object_, name) > 0;
}

bool Hdf5AttributeReader::Open(const char* name, std::initializer_list<H5T_class_t> classes,
                               const char* expected, hssize_t points, Hdf5Attribute& attribute,
                               Hdf5Type& type) {
  const htri_t exists = H5Aexists(object_, name);
  if (exists < 0) {
    why_ = Hdf5Failure("lecture de l'attribut " + Named(name) + " " + of_);
    return false;
  }
  if (exists == 0) return Refuse(name, "manque");
  attribute = Hdf5Attribute(H5Aopen(object_, name, H5P_DEFAULT));
  type = Hdf5Type(attribute.valid() ? H5Aget_type(attribute.get()) : H5I_INVALID_HID);
  const Hdf5Dataspace space(attribute.valid() ? H5Aget_space(attribute.get()) : H5I_INVALID_HID);
  if (!type.valid() || !space.valid()) {
    why_ = Hdf5Failure("lecture de l'attribut " + Named(name) + " " + of_);
    return false;
  }
  // Kept as numbers: the library hands out a damaged file's class as it
  // reads it, even outside its enumeration.
  const int typeClass = H5Tget_class(type.get());
  if (std::none_of(classes.begin(), classes.end(),
                   [typeClass](H5T_class_t c) { return c == typeClass; })) {
    return Refuse(name, std::string("n'est pas ") + expected);
  }
  const int spaceClass = H5Sget_simple_extent_type(space.get());
  const bool shaped = spaceClass == H5S_SCALAR ||
                      (spaceClass == H5S_SIMPLE && H5Sget_simple_extent_ndims(space.get()) == 1);
  const hssize_t found = H5Sget_simple_extent_npoints(space.get());
  if (points < 0 && (!shaped || found < 1 || found > -points)) {
    return Refuse(name, "ne contient pas de 1 à " + std::to_string(-points) + " valeurs");
  }
  if (points >= 0 && (!shaped || found != points)) {
    return Refuse(name, points == 1 ? "ne contient pas une seule valeur"
                                    : "ne contient pas " + std::to_string(points) + " valeurs");
  }
  return true;
}

bool Hdf5AttributeReader::Integer(const char* name, std::int64_t min, std::int64_t max,
                                  std::int64_t& value) {
  Hdf5Attribute attribute;
  Hdf5Type type;
  if (!Open(name, {H5T_INTEGER}, "un nombre entier", 1, attribute, type)) return false;
  if (H5Tget_size(type.get()) > kMaxNumberBytes) return Refuse(name, "n'est pas un nombre entier");
  std::int64_t read = 0;
  if (H5Aread(attribute.get(), H5T_NATIVE_INT64, &read) < 0) {
    why_ = Hdf5Failure("lecture de l'attribut " + Named(name) + " " + of_);
    return false;
  }
  // The library saturates a larger unsigned number at the int64 bound.
  if (read < min || read > max) {
    return Refuse(name, "vaut " + std::to_string(read) + ", hors de " + std::to_string(min) +
                            " à " + std::to_string(max));
  }
  value = read;
  return true;
}

bool Hdf5AttributeReader::Double(const char* name, double& value) {
  Hdf5Attribute attribute;
  Hdf5Type type;
  if (!Open(name, {H5T_FLOAT, H5T_INTEGER}, "un nombre", 1, attribute, type)) return false;
  if (H5Tget_size(type.get()) > kMaxNumberBytes) return Refuse(name, "n'est pas un nombre");
  if (H5Aread(attribute.get(), H5T_NATIVE_DOUBLE, &value) < 0) {
    why_ = Hdf5Failure("lecture de l'attribut " + Named(name) + " " + of_);
    return false;
  }
  return true;
}

bool Hdf5AttributeReader::String(const char* name, std::size_t maxBytes, std::string& value) {
  Hdf5Attribute attribute;
  Hdf5Type type;
  if (!Open(name, {H5T_STRING}, "une chaîne de caractères", 1, attribute, type)) return false;
  const H5T_cset_t cset = H5Tget_cset(type.get());
  const htri_t variable = H5Tis_variable_str(type.get());
  const std::size_t size = H5Tget_size(type.get());
  Hdf5Type memory(H5Tcopy(H5T_C_S1));
  if (variable < 0 || cset < 0 || !memory.valid() || H5Tset_cset(memory.get(), cset) < 0) {
    why_ = Hdf5Failure("lecture de l'attribut " + Named(name) + " " + of_);
    return false;
  }
  const std::string tooLong = "dépasse " + std::to_string(maxBytes) + " octets";
  std::string read;
  if (variable > 0) {
    Hdf5Memory text;
    if (H5Tset_size(memory.get(), H5T_VARIABLE) < 0 ||
        H5Aread(attribute.get(), memory.get(), text.slot()) < 0) {
      why_ = Hdf5Failure("lecture de l'attribut " + Named(name) + " " + of_);
      return false;
    }
    if (text.get() != nullptr) read.assign(text.get(), ::strnlen(text.get(), maxBytes + 1));
  } else {
    // Its room, checked first: a damaged type may announce any size.
    if (size > maxBytes) return Refuse(name, tooLong);
    std::vector<char> buffer(size + 1, '\0');
    if (H5Tset_size(memory.get(), size + 1) < 0 ||
        H5Tset_strpad(memory.get(), H5T_STR_NULLTERM) < 0 ||
        H5Aread(attribute.get(), memory.get(), buffer.data()) < 0) {
      why_ = Hdf5Failure("lecture de l'attribut " + Named(name) + " " + of_);
      return false;
    }
    read.assign(buffer.data(), ::strnlen(buffer.data(), size));
  }
  if (read.size() > maxBytes) return Refuse(name, tooLong);
  value = std::move(read);
  return true;
}

bool Hdf5AttributeReader::Flags(const char* name, std::span<bool> values) {
  Hdf5Attribute attribute;
  Hdf5Type type;
  const auto count = static_cast<hssize_t>(values.size());
  if (!Open(name, {H5T_INTEGER}, "un tableau d'entiers", count, attribute, type)) return false;
  if (H5Tget_size(type.get()) > kMaxNumberBytes)
    return Refuse(name, "n'est pas un tableau d'entiers");
  std::vector<std::int64_t> read(values.size());
  if (H5Aread(attribute.get(), H5T_NATIVE_INT64, read.data()) < 0) {
    why_ = Hdf5Failure("lecture de l'attribut " + Named(name) + " " + of_);
    return false;
  }
  for (const std::int64_t flag : read) {
    if (flag != 0 && flag != 1) return Refuse(name, "contient autre chose que 0 et 1");
  }
  std::transform(read.begin(), read.end(), values.begin(), [](std::int64_t v) { return v == 1; });
  return true;
}

bool Hdf5AttributeReader::Doubles(const char* name, std::size_t maxCount,
                                  std::vector<double>& values) {
  Hdf5Attribute attribute;
  Hdf5Type type;
  if (!Open(name, {H5T_FLOAT, H5T_INTEGER}, "un tableau de nombres",
            -static_cast<hssize_t>(maxCount), attribute, type))
    return false;
  if (H5Tget_size(type.get()) > kMaxNumberBytes)
    return Refuse(name, "n'est pas un tableau de nombres");
  const Hdf5Dataspace space(H5Aget_space(attribute.get()));
  const hssize_t count = space.valid() ? H5Sget_simple_extent_npoints(space.get()) : -1;
  std::vector<double> read(static_cast<std::size_t>(std::max<hssize_t>(count, 0)));
  if (count < 1 || H5Aread(attribute.get(), H5T_NATIVE_DOUBLE, read.data()) < 0) {
    why_ = Hdf5Failure("lecture de l'attribut " + Named(name) + " " + of_);
    return false;
  }
  values = std::move(read);
  return true;
}

}  // namespace tavril
