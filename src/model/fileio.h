// Whole-file reading and safe writing. A file is written to a temporary file in the same
// folder and renamed over the target only when every byte is on disk, so a failed save never
// destroys the previous file.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace t32 {

// Reads a file of at most maxSize bytes. On failure returns false and, when given, sets
// *error to a Russian message naming the file and the reason.
bool ReadWholeFile(const std::string& path, std::string& out, std::string* error = nullptr,
                   std::size_t maxSize = static_cast<std::size_t>(-1));
bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* error = nullptr);
// The reason of the last system error in Russian, for messages.
std::string SystemErrorText(int err);

}  // namespace t32
