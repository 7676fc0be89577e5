// Where the program's messages go.
#pragma once

#include "platform/result.hpp"

#include <string_view>

namespace wutally::platform {

enum class PrintError {
    not_all_written, // a closed pipe, a full disk
};

class Console {
  public:
    Console() = default;
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
    virtual ~Console() = default;

    // Prints the bytes as they are; nothing in them is a format.
    virtual Result<void, PrintError> print(std::string_view text) = 0;
};

// Standard output, a text stream.
class StandardOutput final : public Console {
  public:
    Result<void, PrintError> print(std::string_view text) override;
};

// Standard error, for the report's messages.
class StandardError final : public Console {
  public:
    Result<void, PrintError> print(std::string_view text) override;
};

} // namespace wutally::platform
