// Loading the OpenGL entry points declared in draw_gl.h.
#include "draw/draw_gl.h"

#include "base/Log.h"
#include "rlgl.h"  // Required for: rlGetProcAddress()

namespace r3d::gl {

#define R3D_GL_DEFINE(ret, name, ...) PFN_##name name = nullptr;
R3D_GL_FUNCTIONS(R3D_GL_DEFINE)
#undef R3D_GL_DEFINE

namespace {
bool loaded = false;
}

bool Load() {
    if (loaded) return true;
    bool ok = true;
#define R3D_GL_LOAD(ret, name, ...)                                                            \
    name = reinterpret_cast<PFN_##name>(rlGetProcAddress("gl" #name));                         \
    if (name == nullptr && ok) {                                                               \
        base::Warn("R3D", "OpenGL entry point gl%s is missing; 3D drawing is off", #name);     \
        ok = false;                                                                            \
    }
    R3D_GL_FUNCTIONS(R3D_GL_LOAD)
#undef R3D_GL_LOAD
    loaded = ok;
    return ok;
}

bool Loaded() { return loaded; }

}  // namespace r3d::gl
