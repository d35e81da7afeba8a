// Whole files of the host, read at once and written so that no reader ever
// sees half of one: the device folder's own files (registry.reg,
// device.json), its snapshot, and the Wine runner's tools.
#pragma once

#include <filesystem>
#include <string>

namespace sim {

// The whole file, as bytes. False when it cannot be opened.
bool ReadFileBytes(const std::filesystem::path& path, std::string* bytes);

// Writes through a temporary file beside it and a rename, so that an
// interrupted vorn-sim never leaves a half-written device file. False when
// either step fails.
bool WriteFileAtomic(const std::filesystem::path& path, const std::string& bytes);

}  // namespace sim
