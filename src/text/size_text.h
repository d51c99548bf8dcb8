#pragma once

#include <cstdint>
#include <string>

namespace tavril {

// A size as the windows and tavril-cli show it, in decimal units with one
// decimal: "512 octets", "12.3 Ko", "4.5 Mo", "70.1 Go".
std::string SizeText(std::uint64_t bytes);

}  // namespace tavril
