#include "support/board_signal.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "acquisition/simulated_board.h"

namespace tavril::testing {

std::vector<double> BoardSignal(int chan, std::size_t count, double rate) {
  SimulatedBoard board;
  std::vector<BoardReading> readings(count);
  EXPECT_EQ(board.Start({{chan}, 1, rate, 0.0, readings.size()}), kDaqNoError);
  EXPECT_EQ(board.Read(readings).count, readings.size());
  board.Stop();
  std::vector<double> volts;
  for (const BoardReading r : readings) volts.push_back(r * 5.0 / 2048.0);
  return volts;
}

}  // namespace tavril::testing
