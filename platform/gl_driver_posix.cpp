#include "GlDriver.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <string>
#include <vector>

namespace Platform {

void PinGlDriver() {
    std::vector<std::string> drivers;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            const char* name = info->dlpi_name;
            if (name != nullptr && (strstr(name, "/dri/") != nullptr || strstr(name, "gallium") != nullptr ||
                                    strstr(name, "libLLVM") != nullptr)) {
                static_cast<std::vector<std::string>*>(out)->push_back(name);
            }
            return 0;
        },
        &drivers);
    // RTLD_NOLOAD: only the copy already loaded, now marked never to be unloaded.
    for (const std::string& name : drivers) dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace Platform
