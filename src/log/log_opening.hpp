// Opening the log, as a guard: opened for nobody else (Windows, on the
// machine's own disk), it keeps out every other process that would open
// it while this run has it open; where it cannot be, because a process that
// shares reads and writes has it open, it is opened shared, as it always is
// on a share: shared, it keeps out only processes that share no writing.
#pragma once

#include "log/guard.hpp"

#include <string>

namespace wutally::log {

class LogOpening final : public Guard {
  public:
    LogOpening(platform::FileSystem& files, std::string path, platform::LogSharing sharing)
        : files_(files), path_(std::move(path)), sharing_(sharing) {}

    Attempt take(TakenLog& log) override;
    void release(TakenLog& log) override { log.file.reset(); }
    void share(platform::LogSharing sharing) { sharing_ = sharing; }

  private:
    platform::FileSystem& files_;
    std::string path_;
    platform::LogSharing sharing_;
};

} // namespace wutally::log
