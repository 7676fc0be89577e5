// A console that keeps everything printed, for tests to look at afterwards.
#pragma once

#include "platform/console.hpp"

#include <string>

namespace wutally::fake {

class CapturedOutput final : public platform::Console {
  public:
    Result<void, platform::PrintError> print(std::string_view text) override {
        text_.append(text);
        return {};
    }
    [[nodiscard]] const std::string& text() const { return text_; }

  private:
    std::string text_;
};

} // namespace wutally::fake
