// The program for tests that must stop a run at an exact point while it
// holds the log, so that it can be killed, signalled or stopped there. The
// shipped program has no such point; this one wraps the file layer:
//
//   WUTALLY_PAUSE_AT=hold   pauses when the run first asks the held log's size
//   WUTALLY_PAUSE_AT=row    pauses in the middle of writing its row, once
//                           WUTALLY_PAUSE_WRITTEN bytes of it (default: half)
//                           are written
//   WUTALLY_PAUSE_MARK=FILE is made when the run pauses; the run goes on once
//                           it is removed
//
// Without WUTALLY_PAUSE_AT it runs as the program does.
#include "platform/arguments.hpp"
#include "platform/native.hpp"
#include "run/run.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

using namespace wutally;

std::string setting(const char* name) {
    const char* value = std::getenv(name); // NOLINT(concurrency-mt-unsafe): one thread
    return value != nullptr ? value : "";
}

void pause_here() {
    const std::string mark = setting("WUTALLY_PAUSE_MARK");
    std::ofstream(mark) << "paused\n";
    while (std::filesystem::exists(mark)) {
        std::this_thread::sleep_for(std::chrono::milliseconds{20});
    }
}

class PausingLog final : public platform::File {
  public:
    explicit PausingLog(std::unique_ptr<platform::File> log) : log_(std::move(log)) {}

    [[nodiscard]] Result<std::uint64_t, platform::FileError> size() const override {
        if (at_ == "hold" && !paused_) {
            paused_ = true;
            pause_here();
        }
        return log_->size();
    }
    [[nodiscard]] Result<platform::FileIdentity, platform::FileError> identity() const override {
        return log_->identity();
    }
    [[nodiscard]] Result<std::size_t, platform::FileError>
    read(std::span<char> buffer) const override {
        return log_->read(buffer);
    }
    [[nodiscard]] Result<std::size_t, platform::FileError>
    read_at(std::uint64_t offset, std::span<char> buffer) const override {
        return log_->read_at(offset, buffer);
    }
    [[nodiscard]] Result<void, platform::FileError>
    write_all(std::span<const char> bytes) const override {
        return log_->write_all(bytes);
    }
    [[nodiscard]] Result<void, platform::FileError>
    write_at(std::uint64_t offset, std::span<const char> bytes) const override {
        if (at_ != "row" || paused_) {
            return log_->write_at(offset, bytes);
        }
        paused_ = true;
        const std::string written = setting("WUTALLY_PAUSE_WRITTEN");
        const std::size_t first =
            written.empty() ? bytes.size() / 2 : std::min(bytes.size(), std::stoul(written));
        if (!log_->write_at(offset, bytes.first(first))) {
            return platform::FileError::failed;
        }
        pause_here();
        return log_->write_at(offset + first, bytes.subspan(first));
    }
    [[nodiscard]] Result<void, platform::FileError> seek_end() const override {
        return log_->seek_end();
    }
    [[nodiscard]] Result<void, platform::FileError> truncate(std::uint64_t size) const override {
        return log_->truncate(size);
    }
    [[nodiscard]] Result<void, platform::FileError> sync() const override { return log_->sync(); }
    [[nodiscard]] Result<void, platform::FileError>
    lock_range(std::uint64_t offset, std::uint64_t length) const override {
        return log_->lock_range(offset, length);
    }
    void unlock_range(std::uint64_t offset, std::uint64_t length) const override {
        log_->unlock_range(offset, length);
    }
    [[nodiscard]] std::intptr_t native_handle() const override { return log_->native_handle(); }

  private:
    std::unique_ptr<platform::File> log_;
    std::string at_ = setting("WUTALLY_PAUSE_AT");
    // Once in the run, whichever hold of the log it is in.
    static inline bool paused_ = false; // NOLINT: a test program's one switch
};

class PausingFileSystem final : public platform::FileSystem {
  public:
    platform::OpenResult open_read(const std::string& path) override {
        return files_->open_read(path);
    }
    platform::OpenResult open_stream(const std::string& path) override {
        return files_->open_stream(path);
    }
    platform::OpenResult standard_input() override { return files_->standard_input(); }
    platform::OpenResult create_new(const std::string& path, platform::Readers readers) override {
        return files_->create_new(path, readers);
    }
    platform::OpenResult open_write(const std::string& path) override {
        return files_->open_write(path);
    }
    platform::OpenResult open_log(const std::string& path, platform::LogSharing sharing) override {
        auto log = files_->open_log(path, sharing);
        if (!log) {
            return log;
        }
        return std::unique_ptr<platform::File>(std::make_unique<PausingLog>(*std::move(log)));
    }
    Result<platform::FileState, platform::FileError> state_of(const std::string& path) override {
        return files_->state_of(path);
    }
    Result<void, platform::FileError> rename(const std::string& from,
                                             const std::string& to) override {
        return files_->rename(from, to);
    }
    Result<void, platform::FileError> move_no_replace(const std::string& from,
                                                      const std::string& to) override {
        return files_->move_no_replace(from, to);
    }
    Result<void, platform::FileError> remove(const std::string& path) override {
        return files_->remove(path);
    }
    Result<void, platform::FileError> make_directory(const std::string& path) override {
        return files_->make_directory(path);
    }
    Result<void, platform::FileError> remove_directory(const std::string& path) override {
        return files_->remove_directory(path);
    }
    Result<std::vector<std::string>, platform::FileError>
    list_directory(const std::string& path) override {
        return files_->list_directory(path);
    }
    std::string owner_of(const std::string& path) override { return files_->owner_of(path); }
    Result<std::string, platform::FileError> link_target(const std::string& path) override {
        return files_->link_target(path);
    }
    Result<std::string, platform::FileError> canonical(const std::string& path) override {
        return files_->canonical(path);
    }
    Result<std::string, platform::FileError> current_directory() override {
        return files_->current_directory();
    }
    Result<platform::ShareKind, platform::FileError> share_of(const std::string& path) override {
        return files_->share_of(path);
    }

  private:
    std::unique_ptr<platform::FileSystem> files_ = platform::native_file_system();
};

} // namespace

int main(int argc, char** argv) {
    const auto arguments = platform::arguments_of(argc, argv);
    platform::StandardOutput console;
    platform::StandardError errors;
    platform::SteadyClock clock;
    PausingFileSystem files;
    const auto machine = platform::native_machine();
    return run::run(arguments, {console, errors, clock, files, *machine});
}
