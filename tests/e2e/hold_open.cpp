// Test helper: holds a file open the way a run holds the log, so that no
// other run can open it, until its standard input is closed. Prints "held"
// once the file is held. With --who, prints who the program takes this
// process to be: the machine's name, its machine id and its boot.
#include "platform/native.hpp"

#include <cstdio>
#include <string_view>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--who") {
        const auto me = wutally::platform::native_machine()->this_process();
        std::printf("%s\n%s\n%s\n", me.host.c_str(), me.machine.c_str(), me.boot.c_str());
        return 0;
    }
    if (argc != 2) {
        std::fputs("usage: hold_open FILE\n", stderr);
        return 2;
    }
#ifdef _WIN32
    HANDLE handle = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return 1;
    }
#else
    // A write lock on the whole file, which conflicts with the program's.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const int fd = ::open(argv[1], O_RDWR);
    if (fd < 0 || ::fcntl(fd, F_SETLKW, &lock) != 0) {
        return 1;
    }
#endif
    std::puts("held");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
