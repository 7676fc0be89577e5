#include "log/byte_range_lock.hpp"

namespace wutally::log {

Attempt ByteRangeLock::take(TakenLog& log) {
    if (locked_) {
        return Attempt::held();
    }
    const auto locked = log.file->lock_range(locked_byte, 1);
    if (locked) {
        locked_ = true;
        return Attempt::held();
    }
    if (locked.error() == platform::FileError::held) {
        // An earlier version's run, another program, or a dead NFS client
        // until its lease runs out.
        return Attempt::busy(WaitingOn::program, "locked");
    }
    if (locked.error() == platform::FileError::unreachable) {
        return Attempt::busy(WaitingOn::server, "unreachable");
    }
    return Attempt::failed(locked.error());
}

void ByteRangeLock::release(TakenLog& log) {
    if (locked_ && log.file) {
        log.file->unlock_range(locked_byte, 1);
    }
    locked_ = false;
}

} // namespace wutally::log
