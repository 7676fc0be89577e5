#include "platform/arguments.hpp"
#include "platform/native.hpp"
#include "report/report_run.hpp"

int main(int argc, char** argv) {
    const auto arguments = wutally::platform::arguments_of(argc, argv);
    wutally::platform::StandardOutput out;
    wutally::platform::StandardError errors;
    const auto files = wutally::platform::native_file_system();
    return wutally::report::run_report(arguments, {out, errors, *files});
}
