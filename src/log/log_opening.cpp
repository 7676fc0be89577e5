#include "log/log_opening.hpp"

namespace wutally::log {

Attempt LogOpening::take(TakenLog& log) {
    if (log.file) {
        return Attempt::held();
    }
    auto opened = files_.open_log(path_, sharing_);
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
