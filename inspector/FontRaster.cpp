// Dear ImGui rasterises its font with stb_truetype, which this build compiles
// itself (Debian's libstb-dev header, as the image layer does with stb_image);
// the rectangle packer it also needs is the one raylib already carries.
#include <stb_rect_pack.h>
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>
