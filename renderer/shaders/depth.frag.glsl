// Fragment stage of the depth-only pass (shadow maps): nothing but depth; a cut-out
// material discards what its alpha leaves out.
// shaders.cpp puts "#version 330 core" and the variant's switches in front of this
// file (material features, DEPTH_ONLY, the light set), then light_set_inc.glsl.

#ifdef ALPHA_MASK
flat in vec4 vColor;
#ifdef TEXCOORDS
in vec2 vTexcoord;
uniform sampler2D uAlbedoMap;
#endif
#ifdef VERTEX_COLOR
in vec4 vVertexColor;
#endif
uniform vec4 uBaseColor;
uniform float uAlphaCutoff;
#endif

void main() {
#ifdef ALPHA_MASK
    float alpha = uBaseColor.a * vColor.a;
#ifdef TEXCOORDS
    alpha *= texture(uAlbedoMap, vTexcoord).a;
#endif
#ifdef VERTEX_COLOR
    alpha *= vVertexColor.a;
#endif
    if (alpha < uAlphaCutoff) discard;
#endif
}
