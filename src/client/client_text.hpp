// A client file read whole into memory.
#pragma once

#include "platform/file_system.hpp"

#include <string>
#include <string_view>

namespace wutally::client {

// The file's bytes exactly as read; nothing is decoded or converted.
struct ClientText {
    std::string bytes;

    // What a lookup sees: everything before the first zero byte.
    [[nodiscard]] std::string_view searchable() const;
};

enum class LoadFailure { cannot_open, empty, out_of_memory, read_error };

using LoadResult = Result<ClientText, LoadFailure>;

// Opens an existing file by name for shared reading and reads it to its end.
// A file that shrinks while it is read yields the bytes that were there.
LoadResult load_client_file(platform::FileSystem& files, const std::string& file_name);

} // namespace wutally::client
