// Whole small files and exact ranges of the log: the lock protocol's
// journals, and rows read back to be compared.
#pragma once

#include "platform/file_system.hpp"
#include "platform/result.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace wutally::log {

// The file's bytes, up to a megabyte: a journal holds one row.
Result<std::string, platform::FileError> read_small_file(platform::FileSystem& files,
                                                         const std::string& path);

// Makes a file that was not there with the bytes in it, flushed to the
// disk; removes it again where they cannot all be written.
Result<void, platform::FileError> write_new_file(platform::FileSystem& files,
                                                 const std::string& path, std::string_view bytes,
                                                 platform::Readers readers);

// The bytes of the file from `start`, as many as there are up to `count`.
Result<std::string, platform::FileError> read_range(const platform::File& file, std::uint64_t start,
                                                    std::uint64_t count);

} // namespace wutally::log
