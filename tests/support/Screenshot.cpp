#include "Screenshot.h"

#include <cstdio>
#include <fstream>

namespace TestSupport {

double Screenshot::MeanLuma(int x0, int y0, int x1, int y1) const {
    double sum = 0;
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++n) sum += At(x, y).Luma();
    return n ? sum / n : 0.0;
}

bool Screenshot::SavePpm(const std::string& path) const {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (const Rgb& p : pixels) out.put(static_cast<char>(p.r)).put(static_cast<char>(p.g)).put(static_cast<char>(p.b));
    return static_cast<bool>(out);
}

// ImageMagick's import writes the window as binary PPM (P6) on stdout.
Screenshot GrabWindow(const std::string& windowId) {
    Screenshot shot;
    std::string command = "import -silent -window " + windowId + " -depth 8 ppm:- 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return shot;
    int maxValue = 0;
    if (std::fscanf(pipe, "P6 %d %d %d", &shot.width, &shot.height, &maxValue) == 3 && maxValue == 255) {
        std::fgetc(pipe);  // the single whitespace after the header
        shot.pixels.resize(static_cast<size_t>(shot.width) * shot.height);
        size_t bytes = shot.pixels.size() * 3;
        if (std::fread(shot.pixels.data(), 1, bytes, pipe) != bytes) shot.pixels.clear();
    }
    pclose(pipe);
    if (shot.pixels.empty()) shot.width = shot.height = 0;
    return shot;
}

}  // namespace TestSupport
