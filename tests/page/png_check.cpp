// Checks that a PNG shows something: more than a few colours, and no colour
// covering nearly all of it, as a blank or failed rendering would.
//
//   png_check IMAGE.png
#include <png.h>

#include <cstdio>
#include <map>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: png_check IMAGE.png\n", stderr);
        return 2;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, argv[1]) == 0) {
        std::fprintf(stderr, "%s: not a PNG: %s\n", argv[1], image.message);
        return 1;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) {
        std::fprintf(stderr, "%s: cannot be read: %s\n", argv[1], image.message);
        return 1;
    }
    std::map<unsigned, std::size_t> colours;
    for (std::size_t at = 0; at + 2 < pixels.size(); at += 3) {
        ++colours[(unsigned{pixels[at]} << 16) | (unsigned{pixels[at + 1]} << 8) | pixels[at + 2]];
    }
    std::size_t commonest = 0;
    for (const auto& [colour, count] : colours) {
        commonest = std::max(commonest, count);
    }
    const std::size_t total = pixels.size() / 3;
    std::printf("%s: %ux%u, %zu colours, the commonest on %.1f%% of it\n", argv[1], image.width,
                image.height, colours.size(),
                100.0 * static_cast<double>(commonest) / static_cast<double>(total));
    return colours.size() >= 16 && commonest < total * 99 / 100 ? 0 : 1;
}
