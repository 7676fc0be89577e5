#include "report/reading/log_source.hpp"

#include "log/log_file.hpp"

namespace wutally::report {

std::string in_folder(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (!path.empty() && !path.ends_with(platform::directory_separator) && !path.ends_with('/')) {
        path += platform::directory_separator;
    }
    return path.append(name);
}

std::string log_file_of(platform::FileSystem& files, const std::string& path) {
    if (path == standard_input_path) {
        return path;
    }
    if (const auto state = files.state_of(path);
        !state || state->kind != platform::FileKind::directory) {
        return path;
    }
    return in_folder(path, log::log_file_name);
}

Result<OpenedLog, ScanError> open_log(platform::FileSystem& files, const std::string& given,
                                      const std::string& file) {
    // Pipes and FIFOs are read as they come, however slowly.
    const bool standard_input = file == standard_input_path;
    auto opened = standard_input ? files.standard_input() : files.open_stream(file);
    if (!opened) {
        if (files.state_of(file)) {
            return ScanError::cannot_open;
        }
        return given == file ? ScanError::missing : ScanError::no_log_in_directory;
    }
    const auto state =
        standard_input
            ? Result<platform::FileState, platform::FileError>(platform::FileError::unsupported)
            : files.state_of(file);
    const bool regular = state && state->kind == platform::FileKind::file;
    return OpenedLog{*std::move(opened), regular ? Reading::by_offset : Reading::as_it_comes};
}

} // namespace wutally::report
