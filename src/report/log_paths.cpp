#include "report/log_paths.hpp"

#include "log/log_file.hpp"
#include "report/reading/log_source.hpp"

#include <algorithm>
#include <optional>

namespace wutally::report {

namespace {

char folded(char byte, bool any_case) {
    return any_case && byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : byte;
}

bool is_directory(platform::FileSystem& files, const std::string& path) {
    const auto state = files.state_of(path);
    return state && state->kind == platform::FileKind::directory;
}

// The paths a pattern in the last part of the path matches, sorted; the
// path itself where it holds no pattern or matches nothing.
std::vector<std::string> expanded(platform::FileSystem& files, const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string pattern = path.substr(folder.size());
    if (pattern.find_first_of("*?") == std::string::npos) {
        return {path};
    }
    // The folder without its last separator, but for a root ("/", "C:\\").
    std::string listed = folder.empty() ? "." : folder;
    if (listed.size() > 1 && listed[listed.size() - 2] != ':' && !folder.empty()) {
        listed.pop_back();
    }
    const auto names = files.list_directory(listed);
    std::vector<std::string> found;
    if (names) {
        for (const std::string& name : *names) {
            // As the Command Prompt does, a pattern does not match hidden
            // names unless it asks for them.
            if (matches(name, pattern, true) &&
                (!name.starts_with('.') || pattern.starts_with('.'))) {
                found.push_back(folder + name);
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found.empty() ? std::vector<std::string>{path} : found;
}

// The folders in a folder that has no log of its own: a farm's folder, one
// folder per machine.
std::vector<std::string> machine_folders(platform::FileSystem& files, const std::string& path) {
    if (!is_directory(files, path) || files.state_of(in_folder(path, log::log_file_name))) {
        return {};
    }
    const auto names = files.list_directory(path);
    std::vector<std::string> folders;
    if (names) {
        for (const std::string& name : *names) {
            if (!name.starts_with('.') && is_directory(files, in_folder(path, name))) {
                folders.push_back(in_folder(path, name));
            }
        }
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

} // namespace

bool matches(std::string_view name, std::string_view pattern, bool any_case) {
    std::size_t at = 0;
    std::size_t from = 0;
    std::optional<std::size_t> star;
    std::size_t star_at = 0;
    while (at < name.size()) {
        if (from < pattern.size() && (pattern[from] == '?' || folded(pattern[from], any_case) ==
                                                                  folded(name[at], any_case))) {
            ++at;
            ++from;
        } else if (from < pattern.size() && pattern[from] == '*') {
            star = from++;
            star_at = at;
        } else if (star) {
            from = *star + 1;
            at = ++star_at;
        } else {
            return false;
        }
    }
    while (from < pattern.size() && pattern[from] == '*') {
        ++from;
    }
    return from == pattern.size();
}

LogPaths log_paths(platform::FileSystem& files, const std::vector<std::string>& given,
                   bool expand_wildcards) {
    LogPaths logs;
    for (const std::string& path : given) {
        for (std::string& each :
             expand_wildcards ? expanded(files, path) : std::vector<std::string>{path}) {
            logs.paths.push_back(std::move(each));
        }
    }
    logs.several = logs.paths.size() > 1;
    if (logs.paths.size() == 1) {
        if (auto folders = machine_folders(files, logs.paths.front()); !folders.empty()) {
            logs.paths = std::move(folders);
            logs.several = true;
        }
    }
    return logs;
}

} // namespace wutally::report
