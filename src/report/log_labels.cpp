#include "report/log_labels.hpp"

#include "log/log_file.hpp"
#include "report/reading/log_source.hpp"

#include <filesystem>
#include <map>

namespace wutally::report {

namespace {

namespace fs = std::filesystem;

// The names a label may be made of, the log's own last: the directories
// down to the log's, and the file's name where it is not the usual one.
std::vector<std::string> label_parts(platform::FileSystem& file_system, const std::string& file,
                                     const fs::path& base) {
    if (file == standard_input_path) {
        return {"standard input"};
    }
    const fs::path given = base / fs::path(file);
    const auto canonical = file_system.canonical(given.string());
    // Where the path cannot be resolved, its own names are the label's.
    const fs::path path = canonical ? fs::path(*canonical) : given.lexically_normal();
    std::vector<std::string> parts;
    for (const fs::path& part : path.relative_path().parent_path()) {
        parts.push_back(part.string());
    }
    const std::string name = path.filename().string();
    if (name != log::log_file_name) {
        parts.push_back(name.ends_with(".csv") ? name.substr(0, name.size() - 4) : name);
    }
    if (parts.empty()) {
        parts.push_back(path.root_path().string()); // a log at the root
    }
    return parts;
}

std::string label_of(const std::vector<std::string>& parts, std::size_t count) {
    std::string label;
    for (std::size_t at = parts.size() - count; at < parts.size(); ++at) {
        label += (label.empty() ? "" : "/") + parts[at];
    }
    return label;
}

} // namespace

std::vector<std::string> log_labels(platform::FileSystem& file_system,
                                    std::span<const std::string> files, const std::string& base) {
    std::vector<std::vector<std::string>> parts;
    for (const std::string& file : files) {
        parts.push_back(label_parts(file_system, file, base));
    }
    std::vector<std::size_t> counts(files.size(), 1);
    std::vector<std::string> labels(files.size());
    for (bool longer = true; longer;) {
        std::map<std::string, std::vector<std::size_t>> holders;
        for (std::size_t at = 0; at < files.size(); ++at) {
            labels[at] = label_of(parts[at], counts[at]);
            holders[labels[at]].push_back(at);
        }
        longer = false;
        for (const auto& [label, logs] : holders) {
            if (logs.size() < 2) {
                continue;
            }
            for (const std::size_t at : logs) {
                if (counts[at] < parts[at].size()) {
                    ++counts[at];
                    longer = true;
                }
            }
        }
    }
    return labels;
}

} // namespace wutally::report
