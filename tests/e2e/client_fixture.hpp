// Client files for the end-to-end tests, with every key present.
#pragma once

#include "harness.hpp"

#include <gtest/gtest.h>

#include <string>

namespace wutally::e2e {

struct ClientFiles {
    std::string state =
        "ncfft=81920\ncr=1.2e+01\nfl=65536\ncpu=3511.45\nprog=0.999\nbs_power=23.4\n"
        "bs_score=1.52\nbs_bin=40192\nbs_fft_ind=12\nbs_chirp_rate=-3.86\nbs_fft_len=32768\n"
        "bg_score=2.11\nbg_power=1.30\nbg_chisq=0.96\nbg_bin=7\nbg_fft_ind=211\n"
        "bg_chirp_rate=0.51\nbg_fft_len=16\n";
    std::string result =
        "type=1\ntask=sweep\nversion=4.12\nname=14fe06ac.27316.8322.42\ndata_type=16bit\n"
        "data_class=0\nsplitter_version=0.71\nstart_ra=17.40\nstart_dec=-4.11\nend_ra=17.55\n"
        "end_dec=-3.92\nangle_range=0.42\ntime_recorded=2452331.73 (Sat Feb 23 2002)\n"
        "subband_center=1420141601.5\nsubband_base=1420000000\nsubband_sample_rate=9765.625\n"
        "fft_len=2048\nifft_len=8\nsubband_number=14\nreceiver=ao1420\nnsamples=1048576\n"
        "tape_version=4.2\n";
    std::string user_info =
        "id=3175520\nkey=82741093\nemail_addr=ada@example.org\nname=Ada Volunteer\nurl=\n"
        "country=Netherlands\npostal_code=3511 AB\nshow_name=1\nshow_email=0\nvenue=home\n"
        "register_time=2451342.61\nlast_wu_time=2452331.58\nlast_result_time=2452331.21\n"
        "nwus=1284\nnresults=1279\ntotal_cpu=31844511.47\nparams_index=0\n";

    // The fields these files give, behind the date field.
    static constexpr const char* row_values =
        ",3175520,82741093,\"ada@example.org\",\"Ada Volunteer\",,\"Netherlands\",\"3511 AB\",1,"
        "0,\"home\",2451342.61,2452331.58,2452331.21,1284,1279,31844511.47,0,\"sweep\",4.12,"
        "\"14fe06ac.27316.8322.42\",\"16bit\",0,0.71,17.40,-4.11,17.55,-3.92,0.42,"
        "\"2452331.73 (Sat Feb 23 2002)\",1420141601.5,1420000000,9765.625,2048,8,14,"
        "\"ao1420\",1048576,4.2,81920,\"1.2e+01\",65536,3511.45,0.999,23.4,1.52,40192,12,"
        "-3.86,32768,2.11,1.30,0.96,7,211,0.51,16";

    void write_to(const std::filesystem::path& directory) const {
        write_file(directory / "state.txt", state);
        write_file(directory / "result.txt", result);
        write_file(directory / "user_info.txt", user_info);
    }

    // Replaces the value of "key=" in one of the texts.
    static void set(std::string& text, const std::string& key, const std::string& value) {
        const std::size_t at = text.find(key + "=");
        const std::size_t end = text.find('\n', at);
        text.replace(at + key.size() + 1, end - at - key.size() - 1, value);
    }
};

inline const std::string header_row =
    "\"date\",\"id\",\"key\",\"email_addr\",\"user_name\",\"url\",\"country\",\"postal_code\","
    "\"show_name\",\"show_email\",\"venue\",\"register_time\",\"last_wu_time\","
    "\"last_result_time\",\"nwus\",\"nresults\",\"total_cpu\",\"params_index\",\"task\","
    "\"version\",\"name\",\"data_type\",\"data_class\",\"splitter_version\",\"start_ra\","
    "\"start_dec\",\"end_ra\",\"end_dec\",\"angle_range\",\"time_recorded\",\"subband_center\","
    "\"subband_base\",\"subband_sample_rate\",\"fft_len\",\"ifft_len\",\"subband_number\","
    "\"receiver\",\"nsamples\",\"tape_version\",\"ncfft\",\"cr\",\"fl\",\"cpu\",\"prog\","
    "\"bs_power\",\"bs_score\",\"bs_bin\",\"bs_fft_ind\",\"bs_chirp_rate\",\"bs_fft_len\","
    "\"bg_score\",\"bg_power\",\"bg_chisq\",\"bg_bin\",\"g_fft_ind\",\"bg_chirp_rate\","
    "\"bg_fft_len\"";

// A data row as the log holds it, with the time masked.
inline std::string masked_row(const std::string& values = ClientFiles::row_values) {
    return "\r\n\"YYYY.MM.DD hh:mm:ss\"" + values;
}

// The row the fixture gives with another work unit's name, written as the
// log stores it (quotes included), time masked.
inline std::string masked_row_named(const std::string& stored_name) {
    const std::string fixture_name = "\"14fe06ac.27316.8322.42\"";
    std::string values = ClientFiles::row_values;
    values.replace(values.find(fixture_name), fixture_name.size(), stored_name);
    return masked_row(values);
}

// Logs a work unit named "earlier" in the directory, then puts the
// fixture's own client files there; returns the log as it then stands.
inline std::string log_an_earlier_work_unit(const std::filesystem::path& directory) {
    ClientFiles earlier;
    ClientFiles::set(earlier.result, "name", "earlier");
    earlier.write_to(directory);
    EXPECT_EQ(run_program(directory).status, 0);
    ClientFiles{}.write_to(directory);
    return read_file(directory / "WUTally.csv");
}

} // namespace wutally::e2e
