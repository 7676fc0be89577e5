#include "platform/arguments.hpp"
#include "platform/local_zone.hpp"
#include "platform/native.hpp"
#include "report/report_run.hpp"

int main(int argc, char** argv) {
    const auto arguments = wutally::platform::arguments_of(argc, argv);
    wutally::platform::StandardOutput out;
    wutally::platform::StandardError errors;
    const auto files = wutally::platform::native_file_system();
    wutally::platform::SystemZone zone;
    return wutally::report::run_report(arguments, {out, errors, *files, zone});
}
