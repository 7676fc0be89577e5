// A fresh directory for a test, removed with everything in it however the
// test ends, and the files in it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace wutally::testing_support {

class ScratchDirectory {
  public:
    ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory();
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(std::string_view name) const {
        return path_ / name;
    }

  private:
    std::filesystem::path path_;
};

// Writes the bytes as the file, making the directories above it.
void write_file(const std::filesystem::path& path, std::string_view bytes);
std::string read_file(const std::filesystem::path& path);

} // namespace wutally::testing_support
