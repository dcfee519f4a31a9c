#include "ScreenFiles.h"

#include <fstream>
#include <iterator>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include "stb_image_write.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace ScreenFiles {

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool WriteImage(const std::string& path, int w, int h, const std::vector<unsigned char>& rgba) {
    const std::string ext = path.substr(path.find_last_of('.') + 1);
    if (ext == "png") return stbi_write_png(path.c_str(), w, h, 4, rgba.data(), w * 4) != 0;
    if (ext == "jpg") return stbi_write_jpg(path.c_str(), w, h, 4, rgba.data(), 90) != 0;
    if (ext == "tga") return stbi_write_tga(path.c_str(), w, h, 4, rgba.data()) != 0;
    if (ext == "bmp") return stbi_write_bmp(path.c_str(), w, h, 4, rgba.data()) != 0;
    return false;
}

void WriteSprite(const std::string& path) {
    std::vector<unsigned char> rgba(64 * 32 * 4);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            unsigned char* p = &rgba[(y * 64 + x) * 4];
            const bool left = x < 32;
            p[0] = left ? 255 : 0, p[1] = left ? 255 : 0, p[2] = 255, p[3] = 255;
        }
    WriteImage(path, 64, 32, rgba);
}

std::vector<std::string> WriteBrokenSet(const std::string& folder) {
    const std::vector<unsigned char> font = ReadBytes(kFont);
    std::vector<unsigned char> png;
    {
        WriteSprite(folder + "/good.png");
        png = ReadBytes(folder + "/good.png");
        std::remove((folder + "/good.png").c_str());
    }
    std::vector<unsigned char> garbage(5000);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<unsigned char>((i * 7919u) >> 3);
    WriteBytes(folder + "/empty.ttf", {});
    WriteBytes(folder + "/garbage.ttf", garbage);
    WriteBytes(folder + "/cut.ttf", std::vector<unsigned char>(font.begin(), font.begin() + 3000));
    WriteBytes(folder + "/picture.ttf", png);
    WriteBytes(folder + "/empty.png", {});
    WriteBytes(folder + "/garbage.png", garbage);
    WriteBytes(folder + "/cut.png", std::vector<unsigned char>(png.begin(), png.begin() + static_cast<long>(png.size() / 2)));
    // A PNG header that claims 100,000 x 100,000 pixels.
    std::vector<unsigned char> huge(png.begin(), png.begin() + 33);
    const unsigned char side[4] = {0x00, 0x01, 0x86, 0xA0};
    std::copy(side, side + 4, huge.begin() + 16);
    std::copy(side, side + 4, huge.begin() + 20);
    WriteBytes(folder + "/huge.png", huge);
    WriteBytes(folder + "/font.jpg", font);
    return {"missing.ttf", "empty.ttf", "garbage.ttf", "cut.ttf", "picture.ttf",
            "missing.png", "empty.png", "garbage.png", "cut.png", "huge.png", "font.jpg"};
}

}  // namespace ScreenFiles
