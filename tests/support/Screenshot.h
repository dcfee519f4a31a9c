// Reading back what a real window shows: a screenshot of an X window (the
// test's DISPLAY) as RGB pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace TestSupport {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    int Luma() const { return (r * 299 + g * 587 + b * 114) / 1000; }
};

struct Screenshot {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;  // row by row from the top

    bool Empty() const { return pixels.empty(); }
    Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    double MeanLuma(int x0, int y0, int x1, int y1) const;  // over [x0,x1) x [y0,y1)
    bool SavePpm(const std::string& path) const;
};

// Grabs the window with this X id (as xdotool prints it); empty on failure.
Screenshot GrabWindow(const std::string& windowId);

}  // namespace TestSupport
