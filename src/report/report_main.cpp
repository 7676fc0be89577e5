#include "platform/arguments.hpp"
#include "report/report_run.hpp"

int main(int argc, char** argv) {
    const auto arguments = wutally::platform::arguments_of(argc, argv);
    wutally::platform::StandardOutput out;
    wutally::platform::StandardError errors;
    return wutally::report::run_report(arguments, out, errors);
}
