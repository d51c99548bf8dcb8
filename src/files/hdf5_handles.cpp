#include "files/hdf5_handles.h"

#include <charconv>
#include <cstring>
#include <vector>

#include "text/system_error_text.h"

namespace tavril {
namespace {

// libhdf5 1.10 leaves a file whose closing failed (its last writes refused by
// a full disk) half-closed, and its clean-up at exit would close it again and
// crash. Said before anything can use the library: nothing is open at exit
// otherwise, since every file is closed where it is opened.
[[maybe_unused]] const bool kNoCleanupAtExit = H5dont_atexit() >= 0;

std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

struct StackEntry {
  hid_t major = H5I_INVALID_HID;
  hid_t minor = H5I_INVALID_HID;
  int systemError = 0;  // the errno the library quotes in its description, if any
};

// The library's file drivers quote the system's error as "errno = N".
int QuotedErrno(const char* description) {
  if (description == nullptr) return 0;
  const char* at = std::strstr(description, "errno = ");
  if (at == nullptr) return 0;
  at += std::strlen("errno = ");
  int error = 0;
  std::from_chars(at, at + std::strlen(at), error);
  return error;
}

herr_t Collect(unsigned, const H5E_error2_t* entry, void* data) {
  static_cast<std::vector<StackEntry>*>(data)->push_back(
      {entry->maj_num, entry->min_num, QuotedErrno(entry->desc)});
  return 0;
}

// One entry of the stack in French; empty for an entry that says nothing the
// user can act on, so that a more telling one is looked for.
std::string Cause(const StackEntry& entry) {
  const hid_t minor = entry.minor;
  const auto withSystem = [&](const char* text) {
    std::string cause = text;
    if (entry.systemError != 0) cause += " (" + SystemErrorText(entry.systemError) + ")";
    return cause;
  };
  if (minor == H5E_NOTHDF5) return "ce n'est pas un fichier HDF5";
  if (minor == H5E_TRUNCATED) return "le fichier est tronqué";
  if (minor == H5E_WRITEERROR) return withSystem("erreur d'écriture");
  if (minor == H5E_READERROR || minor == H5E_SEEKERROR) return withSystem("erreur de lecture");
  if (minor == H5E_CANTOPENFILE) return withSystem("impossible d'ouvrir le fichier");
  if (minor == H5E_CANTLOCKFILE) return "le fichier est verrouillé par un autre programme";
  if (minor == H5E_CANTALLOC || minor == H5E_NOSPACE) return "mémoire insuffisante";
  if (minor == H5E_OVERFLOW) return "le fichier est endommagé (adresse hors du fichier)";
  if (minor == H5E_CANTCONVERT || minor == H5E_BADTYPE) return "type de données inattendu";
  if (entry.major == H5E_PLINE || minor == H5E_CANTFILTER || minor == H5E_NOFILTER) {
    return "données compressées illisibles (filtre absent ou données endommagées)";
  }
  if (minor == H5E_CANTLOAD || minor == H5E_CANTDECODE || minor == H5E_BADVALUE ||
      minor == H5E_VERSION || minor == H5E_BADMESG || minor == H5E_BADRANGE) {
    return "structures internes du fichier endommagées";
  }
  return {};
}

}  // namespace

Hdf5Use::Hdf5Use() : lock_(LibraryMutex()) {
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

std::string Hdf5Failure(std::string_view what) {
  std::vector<StackEntry> stack;
  H5Ewalk2(H5E_DEFAULT, H5E_WALK_DOWNWARD, Collect, &stack);
  H5Eclear2(H5E_DEFAULT);
  // The innermost entries name the cause; the outer ones what was being done.
  std::string cause;
  for (auto entry = stack.rbegin(); entry != stack.rend() && cause.empty(); ++entry) {
    cause = Cause(*entry);
  }
  if (cause.empty()) cause = "erreur de la bibliothèque HDF5";
  return std::string(what) + " : " + cause;
}

}  // namespace tavril
