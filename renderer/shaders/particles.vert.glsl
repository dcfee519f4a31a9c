// Vertex stage of the particles: a camera-facing quad per particle. An instance is a
// batch of QUADS_PER_INSTANCE quads, whose corners come from the vertex number (four a
// quad, indexed as two triangles) and whose particles are read from the emitter's
// streamed buffers by number: llvmpipe runs its whole vertex pipeline once per
// instance, so a quad per instance would cost it far more than the quad.
// particles.cpp puts "#version 330 core" and QUADS_PER_INSTANCE in front.
uniform samplerBuffer uCenters;  // per particle: world position, size across in metres
uniform samplerBuffer uColors;   // per particle: colour, 0..1
uniform int uCount;              // particles in the buffers; the last batch's rest draws nothing
uniform mat4 uViewProj;
uniform vec3 uRight;  // the camera's axes in the world: the quad lies in its view plane
uniform vec3 uUp;

out vec2 vUv;
out vec4 vColor;
out vec3 vWorld;

void main() {
    int particle = gl_InstanceID * QUADS_PER_INSTANCE + gl_VertexID / 4;
    vec2 corner = vec2(float(gl_VertexID & 1), float((gl_VertexID >> 1) & 1));
    // Image rows run downwards: the quad's top takes the texture's first row.
    vUv = vec2(corner.x, 1.0 - corner.y);
    if (particle >= uCount) {
        vColor = vec4(0.0);
        vWorld = vec3(0.0);
        gl_Position = vec4(0.0, 0.0, 2.0, 1.0);  // beyond the far plane: clipped
        return;
    }
    vec4 centerSize = texelFetch(uCenters, particle);
    vColor = texelFetch(uColors, particle);
    vec2 offset = (corner - 0.5) * centerSize.w;
    vWorld = centerSize.xyz + uRight * offset.x + uUp * offset.y;
    gl_Position = uViewProj * vec4(vWorld, 1.0);
}
