// The OpenGL entry points the drawing half of the renderer needs beyond what rlgl
// offers (32-bit indexed instanced draws, depth textures with comparison, cube-map
// faces as render targets, state queries). Loaded once through rlGetProcAddress, so
// nothing outside renderer/ ever sees OpenGL.
#pragma once

#include <cstddef>  // Required for: ptrdiff_t

#if defined(_WIN32)
#define R3D_GLAPI __stdcall
#else
#define R3D_GLAPI
#endif

namespace r3d::gl {

using GLenum = unsigned int;
using GLuint = unsigned int;
using GLint = int;
using GLsizei = int;
using GLboolean = unsigned char;
using GLfloat = float;
using GLbitfield = unsigned int;

// Constants, as the OpenGL registry defines them.
constexpr GLenum kTriangles = 0x0004;
constexpr GLenum kUnsignedByte = 0x1401;
constexpr GLenum kUnsignedInt = 0x1405;
constexpr GLenum kFloat = 0x1406;
constexpr GLenum kArrayBuffer = 0x8892;
constexpr GLenum kTexture2D = 0x0DE1;
constexpr GLenum kTextureCubeMap = 0x8513;
constexpr GLenum kTextureCubeMapPositiveX = 0x8515;
constexpr GLenum kTexture2DArray = 0x8C1A;
constexpr GLenum kTextureCubeMapArray = 0x9009;
constexpr GLenum kDepthComponent = 0x1902;
constexpr GLenum kDepthComponent24 = 0x81A6;
constexpr GLenum kDepthComponent32F = 0x8CAC;
constexpr GLenum kTextureMagFilter = 0x2800;
constexpr GLenum kTextureMinFilter = 0x2801;
constexpr GLenum kTextureWrapS = 0x2802;
constexpr GLenum kTextureWrapT = 0x2803;
constexpr GLenum kTextureWrapR = 0x8072;
constexpr GLenum kLinear = 0x2601;
constexpr GLenum kClampToEdge = 0x812F;
constexpr GLenum kTextureCompareMode = 0x884C;
constexpr GLenum kTextureCompareFunc = 0x884D;
constexpr GLenum kCompareRefToTexture = 0x884E;
constexpr GLenum kLequal = 0x0203;
constexpr GLenum kLess = 0x0201;
constexpr GLenum kFramebuffer = 0x8D40;
constexpr GLenum kDepthAttachment = 0x8D00;
constexpr GLenum kFramebufferComplete = 0x8CD5;
constexpr GLenum kNone = 0;
constexpr GLbitfield kDepthBufferBit = 0x00000100;
constexpr GLbitfield kColorBufferBit = 0x00004000;
constexpr GLenum kDepthTest = 0x0B71;
constexpr GLenum kCullFace = 0x0B44;
constexpr GLenum kBlend = 0x0BE2;
constexpr GLenum kBack = 0x0405;
constexpr GLenum kSrcAlpha = 0x0302;
constexpr GLenum kOneMinusSrcAlpha = 0x0303;
constexpr GLenum kCw = 0x0900;
constexpr GLenum kCcw = 0x0901;
constexpr GLenum kTexture0 = 0x84C0;
constexpr GLenum kViewport = 0x0BA2;
constexpr GLenum kDrawFramebufferBinding = 0x8CA6;
constexpr GLenum kDepthWriteMask = 0x0B72;
constexpr GLenum kDepthFunc = 0x0B74;
constexpr GLenum kScissorTest = 0x0C11;
constexpr GLenum kTextureBuffer = 0x8C2A;
constexpr GLenum kRgba32f = 0x8814;
constexpr GLenum kRgba16f = 0x881A;
constexpr GLenum kRgba8 = 0x8058;
constexpr GLenum kDepth24Stencil8 = 0x88F0;
constexpr GLenum kDepthStencil = 0x84F9;
constexpr GLenum kUnsignedInt248 = 0x84FA;
constexpr GLenum kDepthStencilAttachment = 0x821A;
constexpr GLenum kReadFramebuffer = 0x8CA8;
constexpr GLenum kDrawFramebuffer = 0x8CA9;
constexpr GLenum kDepth = 0x1801;    // the default framebuffer's depth, as an attachment name
constexpr GLenum kStencil = 0x1802;
constexpr GLenum kAttachmentDepthSize = 0x8216;
constexpr GLenum kAttachmentStencilSize = 0x8217;
constexpr GLenum kR8 = 0x8229;
constexpr GLenum kRed = 0x1903;
constexpr GLenum kRgb16f = 0x881B;
constexpr GLenum kRgb = 0x1907;
constexpr GLenum kRgba = 0x1908;
constexpr GLenum kColorAttachment0 = 0x8CE0;
constexpr GLenum kLinearMipmapLinear = 0x2703;
constexpr GLenum kNearest = 0x2600;
constexpr GLenum kRepeat = 0x2901;
constexpr GLenum kOne = 1;

#define R3D_GL_FUNCTIONS(X)                                                                          \
    X(void, DrawElementsInstanced, GLenum mode, GLsizei count, GLenum type, const void* indices,      \
      GLsizei instances)                                                                             \
    X(void, DrawArraysInstanced, GLenum mode, GLint first, GLsizei count, GLsizei instances)          \
    X(void, BindVertexArray, GLuint array)                                                           \
    X(void, BindBuffer, GLenum target, GLuint buffer)                                                \
    X(void, VertexAttribPointer, GLuint index, GLint size, GLenum type, GLboolean normalized,         \
      GLsizei stride, const void* pointer)                                                           \
    X(void, EnableVertexAttribArray, GLuint index)                                                   \
    X(void, DisableVertexAttribArray, GLuint index)                                                  \
    X(void, VertexAttribDivisor, GLuint index, GLuint divisor)                                       \
    X(void, VertexAttrib4f, GLuint index, GLfloat x, GLfloat y, GLfloat z, GLfloat w)                \
    X(void, GenTextures, GLsizei n, GLuint* textures)                                                \
    X(void, DeleteTextures, GLsizei n, const GLuint* textures)                                       \
    X(void, BindTexture, GLenum target, GLuint texture)                                              \
    X(void, ActiveTexture, GLenum texture)                                                           \
    X(void, TexBuffer, GLenum target, GLenum internalformat, GLuint buffer)                          \
    X(void, TexImage2D, GLenum target, GLint level, GLint internalformat, GLsizei width,              \
      GLsizei height, GLint border, GLenum format, GLenum type, const void* pixels)                  \
    X(void, TexImage3D, GLenum target, GLint level, GLint internalformat, GLsizei width,              \
      GLsizei height, GLsizei depth, GLint border, GLenum format, GLenum type, const void* pixels)   \
    X(void, FramebufferTextureLayer, GLenum target, GLenum attachment, GLuint texture, GLint level,   \
      GLint layer)                                                                                   \
    X(void, TexParameteri, GLenum target, GLenum pname, GLint param)                                 \
    X(void, GenFramebuffers, GLsizei n, GLuint* framebuffers)                                        \
    X(void, DeleteFramebuffers, GLsizei n, const GLuint* framebuffers)                               \
    X(void, BindFramebuffer, GLenum target, GLuint framebuffer)                                      \
    X(void, FramebufferTexture2D, GLenum target, GLenum attachment, GLenum textarget,                \
      GLuint texture, GLint level)                                                                   \
    X(GLenum, CheckFramebufferStatus, GLenum target)                                                 \
    X(void, DrawBuffer, GLenum buf)                                                                  \
    X(void, ReadBuffer, GLenum src)                                                                  \
    X(void, Viewport, GLint x, GLint y, GLsizei width, GLsizei height)                               \
    X(void, Scissor, GLint x, GLint y, GLsizei width, GLsizei height)                                \
    X(void, Clear, GLbitfield mask)                                                                  \
    X(void, Enable, GLenum cap)                                                                      \
    X(void, Disable, GLenum cap)                                                                     \
    X(GLboolean, IsEnabled, GLenum cap)                                                              \
    X(void, CullFace, GLenum mode)                                                                   \
    X(void, FrontFace, GLenum mode)                                                                  \
    X(void, DepthFunc, GLenum func)                                                                  \
    X(void, DepthMask, GLboolean flag)                                                               \
    X(void, BlendFunc, GLenum sfactor, GLenum dfactor)                                               \
    X(void, ColorMask, GLboolean r, GLboolean g, GLboolean b, GLboolean a)                           \
    X(void, GetIntegerv, GLenum pname, GLint* data)                                                  \
    X(void, UseProgram, GLuint program)                                                              \
    X(void, Finish, void)                                                                            \
    X(void, GenerateMipmap, GLenum target)                                                           \
    X(void, BlitFramebuffer, GLint srcX0, GLint srcY0, GLint srcX1, GLint srcY1, GLint dstX0, GLint dstY0, \
      GLint dstX1, GLint dstY1, GLbitfield mask, GLenum filter)                                      \
    X(void, GetFramebufferAttachmentParameteriv, GLenum target, GLenum attachment, GLenum pname, GLint* params) \
    X(GLenum, GetError, void)

#define R3D_GL_DECLARE(ret, name, ...) \
    using PFN_##name = ret(R3D_GLAPI*)(__VA_ARGS__); \
    extern PFN_##name name;
R3D_GL_FUNCTIONS(R3D_GL_DECLARE)
#undef R3D_GL_DECLARE

// Loads every entry point above; false (with a warning naming the first missing one)
// when the context lacks one. Needs a current context (after InitWindow).
bool Load();
bool Loaded();

}  // namespace r3d::gl
