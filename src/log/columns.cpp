#include "log/columns.hpp"

namespace wutally::log {

namespace {

constexpr std::array<std::string_view, 17> user_keys{
    "id",
    "key",
    "email_addr",
    "name",
    "url",
    "country",
    "postal_code",
    "show_name",
    "show_email",
    "venue",
    "register_time",
    "last_wu_time",
    "last_result_time",
    "nwus",
    "nresults",
    "total_cpu",
    "params_index",
};

constexpr std::array<std::string_view, 21> work_unit_keys{
    "task",           "version",      "name",
    "data_type",      "data_class",   "splitter_version",
    "start_ra",       "start_dec",    "end_ra",
    "end_dec",        "angle_range",  "time_recorded",
    "subband_center", "subband_base", "subband_sample_rate",
    "fft_len",        "ifft_len",     "subband_number",
    "receiver",       "nsamples",     "tape_version",
};

// "g_fft_ind" is a substring of the client's bg_fft_ind key, which the lookup
// therefore finds; it is kept as it is because stored logs carry this header.
constexpr std::array<std::string_view, 18> state_keys{
    "ncfft",    "cr",       "fl",         "cpu",           "prog",          "bs_power",
    "bs_score", "bs_bin",   "bs_fft_ind", "bs_chirp_rate", "bs_fft_len",    "bg_score",
    "bg_power", "bg_chisq", "bg_bin",     "g_fft_ind",     "bg_chirp_rate", "bg_fft_len",
};

} // namespace

const ColumnList user_columns{Source::user_info, user_keys};
const ColumnList work_unit_columns{Source::result, work_unit_keys};
const ColumnList state_columns{Source::state, state_keys};

std::string_view header_text(const ColumnList& list, std::string_view key) {
    if (&list == &user_columns && key == "name") {
        return "user_name";
    }
    return key;
}

} // namespace wutally::log
