// One machine of in-memory runs: a clock, files and a process, and the
// program's run over them.
#pragma once

#include "fake/captured_output.hpp"
#include "fake/fake_clock.hpp"
#include "fake/fake_file_system.hpp"
#include "log/holder_judgment.hpp"
#include "run/run.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace wutally::fake {

struct FakeRun {
    FakeClock clock;
    FakeFileSystem files{&clock};
    FakeMachine machine{files};
    fake::CapturedOutput console;
    fake::CapturedOutput errors;

    // Runs the program once with the arguments; what it prints adds up.
    int run(const std::vector<std::string_view>& arguments = {}) {
        return run::run(arguments, {console, errors, clock, files, machine});
    }

    [[nodiscard]] log::LockServices lock_services() { return {files, machine, clock}; }
};

} // namespace wutally::fake
