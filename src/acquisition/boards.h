#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "acquisition/board.h"
#include "acquisition/stream_clock.h"

namespace tavril {

// What serves a device number, in French: `full` says all there is to say
// (tavril-cli prints it); `brief` fits the configuration dialog's strip
// above the device field, whose tooltip shows the full one.
struct DeviceDescription {
  std::string full;
  std::string brief;
};

// The boards of this machine by device number. A device number without a
// board is served by one that answers deviceNotFoundError to every call, as
// the board driver does on a machine without that board.
class Boards {
 public:
  Boards();
  ~Boards();
  Boards(const Boards&) = delete;
  Boards& operator=(const Boards&) = delete;

  // `description` is what the user is shown for that device number; `brief`,
  // when given, says it in a few words.
  void Attach(std::int16_t device, std::unique_ptr<Board> board, std::string description,
              std::string brief = {});

  Board& For(std::int16_t device);
  bool HasBoard(std::int16_t device) const { return boards_.count(device) != 0; }

  // What serves `device`, in French: the board's description, or a sentence
  // saying no board answers to that number.
  std::string DescribeDevice(std::int16_t device) const;
  // The same, with its few words.
  DeviceDescription Describe(std::int16_t device) const;

 private:
  struct Entry {
    std::unique_ptr<Board> board;
    std::string description;
    std::string brief;
  };
  std::map<std::int16_t, Entry> boards_;
  std::unique_ptr<Board> missing_;
};

inline constexpr std::int16_t kSimulatedBoardDevice = 1;
inline constexpr const char* kSimulatedBoardDescription =
    "Carte simulée : 12 bits, 16 entrées analogiques, signaux de test";
inline constexpr const char* kSimulatedBoardBrief = "Carte simulée, 12 bits";

// The simulated board on device 1, unless a real board answers there; its
// streams run by `clock`, which must outlive the boards.
void AttachSimulatedBoard(Boards& boards, StreamClock& clock = SteadyClock());

}  // namespace tavril
