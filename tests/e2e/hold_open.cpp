// Test helper: holds a file open the way a run holds the log, so that no
// other run can open it, until its standard input is closed. Prints "held"
// once the file is held.
#include <cstdio>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

int main(int argc, char** argv) {
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
