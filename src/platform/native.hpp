// The file layer and the machine of the platform the program is built for,
// made once by each program's entry point and handed down.
#pragma once

#include "platform/file_system.hpp"
#include "platform/machine.hpp"

#include <memory>

namespace wutally::platform {

std::unique_ptr<FileSystem> native_file_system();
std::unique_ptr<Machine> native_machine();

} // namespace wutally::platform
