#pragma once

#include <string>
#include <string_view>

namespace tavril {

// Titles live in memory and in data files as Windows-1252 bytes, as the
// program's files always have; the UI and UTF-8 outputs convert here. The five
// bytes that Windows-1252 leaves undefined map to the C1 controls U+0081,
// U+008D, U+008F, U+0090 and U+009D, as the platform's converter does, so every
// byte round-trips.
std::string Windows1252ToUtf8(std::string_view bytes);

// Characters without a Windows-1252 byte become '?'; malformed UTF-8 bytes too.
std::string Utf8ToWindows1252(std::string_view utf8);

}  // namespace tavril
