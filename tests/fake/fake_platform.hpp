// An in-memory stand-in for the file layer, linked instead of the real one,
// that can make any single operation fail.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace wutally::fake {

enum class Operation { open_read, open_exclusive, size, read, write, seek_end, truncate, sync };

struct FailedOperation {
    Operation operation;
    std::string path;
};

// Forgets every file and failure and restarts the operation count.
void reset();

// A new file under the name, replacing any earlier one.
void put_file(const std::string& path, std::string bytes);
// New bytes in the same file, as another run appends to it or cuts it back.
void rewrite_file(const std::string& path, std::string bytes);
void put_directory(const std::string& path);
// Another run holds the file (created empty if missing), or lets it go.
void hold(const std::string& path, bool held = true, bool on_share = false);
// The bytes of a file, or none if there is no such file.
std::optional<std::string> file_bytes(const std::string& path);

// Makes the nth operation from now (counting from 1) fail; 0 for none. A
// failing write stores half of its bytes first, as a full disk may.
void fail_operation(std::size_t nth);
// Makes the nth operation from now and every one after it fail.
void fail_operations_from(std::size_t nth);
std::size_t operations();
// The first operation that failed.
std::optional<FailedOperation> failed_operation();
// Which operation since the reset, counting from 1, was the first of its
// kind on the path.
std::optional<std::size_t> first_operation(Operation operation, const std::string& path);

// The largest count a read returns, so that a log takes several reads.
inline constexpr std::size_t largest_read = 1000;

} // namespace wutally::fake
