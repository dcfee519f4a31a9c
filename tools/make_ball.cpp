// Writes a ball for the examples: a UV sphere of radius 0.5 as an OBJ file.
//
//   make_ball <output.obj>
#include <cmath>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_ball <output.obj>\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const int rings = 12, segments = 24;
    const double pi = 3.14159265358979;
    std::fprintf(out, "# A sphere of radius 0.5 centred on the origin.\n");
    for (int r = 0; r <= rings; ++r) {
        const double polar = pi * r / rings;
        for (int s = 0; s <= segments; ++s) {
            const double around = 2 * pi * s / segments;
            const double x = std::sin(polar) * std::cos(around), y = std::cos(polar), z = std::sin(polar) * std::sin(around);
            std::fprintf(out, "v %.5f %.5f %.5f\nvn %.5f %.5f %.5f\n", 0.5 * x, 0.5 * y, 0.5 * z, x, y, z);
        }
    }
    // Counter-clockwise from outside: one quad per ring and segment.
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const int a = r * (segments + 1) + s + 1, b = a + segments + 1;
            std::fprintf(out, "f %d//%d %d//%d %d//%d %d//%d\n", a, a, a + 1, a + 1, b + 1, b + 1, b, b);
        }
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
