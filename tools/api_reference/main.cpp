// Writes the API reference: api_reference DIR writes DIR/api.md and DIR/api.json.
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "Reference.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    try {
        const std::string dir = argv[1];
        for (auto [file, text] : {std::pair{"/api.md", ApiReference::Markdown()}, std::pair{"/api.json", ApiReference::Json()}}) {
            std::ofstream out(dir + file, std::ios::binary);
            out << text;
            if (!out) {
                std::fprintf(stderr, "api_reference: cannot write %s%s\n", dir.c_str(), file);
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "api_reference: %s\n", e.what());
        return 1;
    }
    return 0;
}
