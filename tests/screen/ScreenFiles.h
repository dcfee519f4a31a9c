// Font and image files for the screen tests: good ones written at test time,
// and a set of broken ones.
#pragma once

#include <string>
#include <vector>

namespace ScreenFiles {

// Fonts of Debian's fonts-dejavu-core, which setup installs.
constexpr const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kBoldFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// 64 x 32 pixels: the left half white, the right half blue.
void WriteSprite(const std::string& path);

// RGBA pixels, w x h, written as PNG, JPEG (quality 90), TGA or BMP by the
// file's extension; false on failure.
bool WriteImage(const std::string& path, int w, int h, const std::vector<unsigned char>& rgba);

std::vector<unsigned char> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);

// Broken fonts (.ttf) and images in `folder`: missing, empty, garbage, cut
// short, a font that is an image, an image claiming 100,000 pixels a side.
// Returns their names.
std::vector<std::string> WriteBrokenSet(const std::string& folder);

}  // namespace ScreenFiles
