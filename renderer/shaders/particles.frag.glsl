// Fragment stage of the particles. particles.cpp puts "#version 330 core" in front, and
// the variant's switches: ADDITIVE for additive emitters, TEXTURED for an emitter with a
// texture of its own (otherwise the soft round dot, worked out here: cheaper than a
// texture read on a software rasteriser), FOG with the shared fog (ApplyFog).
in vec2 vUv;
in vec4 vColor;
in vec3 vWorld;

#ifdef TEXTURED
uniform sampler2D uTexture;
#endif
uniform vec3 uAmbient;  // the light the sky gives particles; (1, 1, 1) until there is one
uniform vec3 uEye;

out vec4 fragColor;

void main() {
#ifdef TEXTURED
    vec4 color = vColor * texture(uTexture, vUv);
#else
    // White, its alpha falling from the centre to nothing at the rim as (1 - r^2)^2.
    vec2 d = vUv * 2.0 - 1.0;
    float fade = max(1.0 - dot(d, d), 0.0);
    vec4 color = vec4(vColor.rgb, vColor.a * fade * fade);
#endif
    color.rgb *= uAmbient;
#ifdef FOG
#ifdef ADDITIVE
    // What is added fades into the fog rather than taking its colour: the fog in front
    // of the background was already added there.
    color.rgb = ApplyFog(color.rgb, vWorld, uEye) - ApplyFog(vec3(0.0), vWorld, uEye);
#else
    color.rgb = ApplyFog(color.rgb, vWorld, uEye);
#endif
#endif
    fragColor = color;
}
