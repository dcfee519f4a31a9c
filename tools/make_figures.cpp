// Writes the generated skinned models (tools/figure/Figures.h) as binary
// glTF into a folder: bar.glb, figure.glb and floor.glb.
#include <cstdio>
#include <string>

#include "figure/Figures.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    for (const auto& [name, document] : {std::pair{"bar.glb", Figures::Bar()}, std::pair{"figure.glb", Figures::Figure()},
                                         std::pair{"floor.glb", Figures::Floor()}}) {
        const std::string error = Gltf::WriteGlb(document, folder + "/" + name);
        if (!error.empty()) {
            std::fprintf(stderr, "make_figures: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
