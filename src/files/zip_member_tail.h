#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tavril {

// Inflates the member `name` of the zip archive at `path` and gives its last
// `tailBytes` bytes (all of it when shorter). Empty when the archive cannot be
// read or is damaged: no such member, a deflate stream that ends before or
// after its compressed size, a length or CRC-32 that differs from the one the
// archive's directory records. ZIP64 archives are read too.
std::optional<std::string> ZipMemberTail(const std::filesystem::path& path, std::string_view name,
                                         std::size_t tailBytes);

}  // namespace tavril
