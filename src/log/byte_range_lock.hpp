// A write lock on one byte of the log far past any log's end, which a lock
// of the whole file, as earlier versions took, also covers: so runs of
// earlier versions and this one keep apart, and NFS clients pass the lock
// on to the server. Beside a lease it is a second guard, since some file
// systems keep such locks to the machine that takes them (NFS mounted with
// local_lock, SMB under a lease); where no lease can be made beside the log
// it keeps runs apart alone.
#pragma once

#include "log/guard.hpp"

#include <cstdint>

namespace wutally::log {

// A file system that refuses such locks fails the take; beside a lease that
// is no reason to stop.
class ByteRangeLock final : public Guard {
  public:
    Attempt take(TakenLog& log) override;
    void release(TakenLog& log) override;

    // Far beyond any log's end, so that where locks are mandatory the lock
    // never stands in the way of reading or writing the log itself.
    static constexpr std::uint64_t locked_byte = (std::uint64_t{1} << 62) - 1;

  private:
    bool locked_ = false;
};

} // namespace wutally::log
