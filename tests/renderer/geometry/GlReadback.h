// Reading GPU state back in tests: the few GL entry points rlgl does not wrap,
// loaded through rlGetProcAddress once a window is open.
#pragma once

#include <cstdint>
#include <vector>

#include "raylib.h"  // before rlgl.h, which otherwise declares its own Matrix
#include "rlgl.h"

namespace GlReadback {

constexpr unsigned int kCopyReadBuffer = 0x8F36;             // GL_COPY_READ_BUFFER
constexpr unsigned int kElementArrayBufferBinding = 0x8895;  // GL_ELEMENT_ARRAY_BUFFER_BINDING
constexpr unsigned int kAttribBufferBinding = 0x889F;        // GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING
constexpr unsigned int kAttribEnabled = 0x8622;              // GL_VERTEX_ATTRIB_ARRAY_ENABLED
constexpr unsigned int kAttribSize = 0x8623;                 // GL_VERTEX_ATTRIB_ARRAY_SIZE
constexpr unsigned int kBufferSize = 0x8764;                 // GL_BUFFER_SIZE

struct Gl {
    void (*BindBuffer)(unsigned int target, unsigned int buffer) = nullptr;
    void (*GetBufferSubData)(unsigned int target, intptr_t offset, intptr_t size, void* data) = nullptr;
    void (*GetBufferParameteriv)(unsigned int target, unsigned int name, int* value) = nullptr;
    unsigned char (*IsBuffer)(unsigned int buffer) = nullptr;
    unsigned char (*IsVertexArray)(unsigned int array) = nullptr;
    unsigned char (*IsTexture)(unsigned int texture) = nullptr;
    void (*GetIntegerv)(unsigned int name, int* value) = nullptr;
    void (*GetVertexAttribiv)(unsigned int index, unsigned int name, int* value) = nullptr;
    void (*Finish)() = nullptr;

    bool Load() {
        Get(BindBuffer, "glBindBuffer");
        Get(GetBufferSubData, "glGetBufferSubData");
        Get(GetBufferParameteriv, "glGetBufferParameteriv");
        Get(IsBuffer, "glIsBuffer");
        Get(IsVertexArray, "glIsVertexArray");
        Get(IsTexture, "glIsTexture");
        Get(GetIntegerv, "glGetIntegerv");
        Get(GetVertexAttribiv, "glGetVertexAttribiv");
        Get(Finish, "glFinish");
        return BindBuffer && GetBufferSubData && GetBufferParameteriv && IsBuffer && IsVertexArray && IsTexture &&
               GetIntegerv && GetVertexAttribiv && Finish;
    }

    // The whole contents of a buffer object, as elements of T.
    template <typename T>
    std::vector<T> Read(unsigned int buffer) const {
        BindBuffer(kCopyReadBuffer, buffer);
        int bytes = 0;
        GetBufferParameteriv(kCopyReadBuffer, kBufferSize, &bytes);
        std::vector<T> out(static_cast<size_t>(bytes) / sizeof(T));
        if (!out.empty()) GetBufferSubData(kCopyReadBuffer, 0, static_cast<intptr_t>(out.size() * sizeof(T)), out.data());
        BindBuffer(kCopyReadBuffer, 0);
        return out;
    }

private:
    template <typename F>
    static void Get(F& f, const char* name) {
        f = reinterpret_cast<F>(rlGetProcAddress(name));
    }
};

}  // namespace GlReadback
