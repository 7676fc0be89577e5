#include "log/log_file.hpp"

namespace wutally::log {

std::string log_path(std::string_view log_directory) {
    return std::string(log_directory).append(log_file_name);
}

} // namespace wutally::log
