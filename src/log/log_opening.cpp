#include "log/log_opening.hpp"

namespace wutally::log {

Attempt LogOpening::take(TakenLog& log) {
    if (log.file) {
        return Attempt::held();
    }
    auto opened = files_.open_log(path_, sharing_);
    if (!opened && opened.error() == platform::FileError::held &&
        sharing_ == platform::LogSharing::exclusive) {
        // Held open by a process that shares reads and writes: a reader, or
        // a machine of the share that is gone while the server keeps its
        // handle, which would otherwise keep the log from everyone for the
        // minutes the server takes to notice. Runs are kept apart by the
        // lease; a program that keeps others from writing still keeps this
        // run out.
        opened = files_.open_log(path_, platform::LogSharing::shared);
    }
    if (!opened) {
        switch (opened.error()) {
        case platform::FileError::held:
            return Attempt::busy(WaitingOn::program, "open");
        case platform::FileError::unreachable:
            return Attempt::busy(WaitingOn::server, "unreachable");
        default:
            return Attempt::failed(opened.error());
        }
    }
    log.file = *std::move(opened);
    // A program that saves the log by writing a new file over it leaves a
    // run holding the old one.
    const auto named = files_.state_of(path_);
    const auto identity = log.file->identity();
    if (!named || !identity || named->identity != *identity) {
        log.file.reset();
        return Attempt::again();
    }
    return Attempt::held();
}

} // namespace wutally::log
