// How a long log is cut into pieces that two threads read at once, from its
// two ends: the duplicate check and the report share it.
#pragma once

#include "log/line_reader.hpp"
#include "platform/file_system.hpp"
#include "platform/result.hpp"
#include "platform/side_by_side.hpp"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace wutally::log {

// A log of `split_from` bytes or more is read in pieces of about `piece`
// bytes, and in no fewer than `fewest`: the threads share the work no
// better than a piece's worth, so a log of a few pieces' size is not left
// to one thread for most of its rows.
struct PieceSizes {
    std::uint64_t split_from = std::uint64_t{2} << 20;
    std::uint64_t piece = std::uint64_t{16} << 20;
    std::uint64_t fewest = 16;
};

// The pieces a log of `size` bytes is read in, each from a line's start to
// the next piece's, the last to the end of the log however it has grown:
// the whole log as one piece where it is shorter than `split_from` or holds
// no line start to cut it at.
Result<std::vector<ByteRange>, platform::FileError>
cut_into_pieces(const platform::File& log, std::uint64_t size, const PieceSizes& sizes);

// Which of a number of pieces are left: one thread takes them from the
// front, the other from the back, no further than `back_from`, until the
// two meet or one stops them.
class PieceClaims {
  public:
    explicit PieceClaims(std::size_t count, std::size_t back_from = 0)
        : back_(count), back_from_(back_from) {}

    std::optional<std::size_t> from_front();
    std::optional<std::size_t> from_back();
    // No piece is handed out any more.
    void stop();
    // The front's thread has read its last piece; the back's waits for it.
    // (A mutex and condition rather than std::latch: the latch of the
    // Windows build's library can miss its wake-up and wait for ever.)
    void front_finished();
    void wait_for_front();

  private:
    std::mutex mutex_;
    std::condition_variable front_changed_;
    bool front_finished_ = false;
    std::size_t front_ = 0;
    std::size_t back_;
    std::size_t back_from_;
};

// Reads `count` pieces: `front(piece)` takes them in order from the first,
// on this thread, while `back(piece)` takes them from the last, on a second
// thread, down to `back_from`. They meet wherever their speeds take them, so
// neither waits long for the other however the machine shares its time.
// Either returning false stops both once their current pieces are read.
// Then `after()` runs on the thread that read from the back, where the
// memory of what it read lies: what it frees there, what is made next can
// use.
template <class Front, class Back, class After>
void read_from_both_ends(std::size_t count, Front front, Back back, std::size_t back_from,
                         After after) {
    PieceClaims claims(count, back_from);
    const auto take = [&claims](auto claim, auto& read) {
        while (const auto piece = claim()) {
            if (!read(*piece)) {
                claims.stop();
            }
        }
    };
    if (count < 2) {
        take([&] { return claims.from_front(); }, front);
        after();
        return;
    }
    platform::run_side_by_side(
        [&] {
            take([&] { return claims.from_front(); }, front);
            claims.front_finished();
        },
        [&] {
            take([&] { return claims.from_back(); }, back);
            claims.wait_for_front();
            after();
        });
}

template <class Front, class Back>
void read_from_both_ends(std::size_t count, Front front, Back back, std::size_t back_from = 0) {
    read_from_both_ends(count, front, back, back_from, [] {});
}

} // namespace wutally::log
