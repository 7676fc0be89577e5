// Who holds the log, written in the name of a file in the lock directory:
// a name appears and disappears whole, so no run ever reads a holder
// half-written, and no run needs the right to read another user's file.
//
//   h<generation>.<token>.<pid>.<start>.<boot>.<machine>.<host>
//
// The boot and the machine id as 16 hex digits of a hash ("-" for none),
// the host with every byte but letters, digits, "-" and "_" as %XX, cut so
// that the name stays within what every file system takes.
#pragma once

#include "platform/machine.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wutally::log {

struct Holder {
    std::string host;
    std::string machine; // hashed; empty where the machine keeps no id
    std::string boot;    // hashed; empty where the system has no boot identity
    std::uint64_t pid = 0;
    std::uint64_t start = 0;
    std::string token;
    // Renewed at every fence, so that a waiting run sees a live holder move.
    std::uint64_t generation = 0;
    bool operator==(const Holder&) const = default;
};

Holder holder_of(const platform::ProcessIdentity& process, std::string_view token);

std::string holder_name(const Holder& holder);

// None for a name that is no holder's (a journal, another program's file).
std::optional<Holder> parse_holder_name(std::string_view name);

// Whether the two ran on one machine in one boot; never for a system with
// no boot identity, which cannot tell its processes from another's.
bool same_boot(const Holder& holder, const Holder& me);

// The process the holder names, as this machine's process table knows them.
platform::ProcessIdentity process_of(const Holder& holder);

} // namespace wutally::log
