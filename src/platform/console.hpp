// Where the program's messages go.
#pragma once

#include <string>
#include <string_view>

namespace wutally::platform {

class Console {
  public:
    Console() = default;
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
    virtual ~Console() = default;

    // Prints the bytes as they are; nothing in them is a format. False if
    // they could not all be written.
    virtual bool print(std::string_view text) = 0;
};

// Standard output, a text stream.
class StandardOutput final : public Console {
  public:
    bool print(std::string_view text) override;
};

// Standard error, for the report's messages.
class StandardError final : public Console {
  public:
    bool print(std::string_view text) override;
};

// Keeps everything printed, for callers that look at it afterwards.
class CapturedOutput final : public Console {
  public:
    bool print(std::string_view text) override {
        text_.append(text);
        return true;
    }
    [[nodiscard]] const std::string& text() const { return text_; }

  private:
    std::string text_;
};

} // namespace wutally::platform
