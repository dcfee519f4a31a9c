// A light's description, as LightSet::Describe packs it into a byte (draw/shaders.h):
// a variant built for its lights gets each light's description as a number and reads
// its fields with these, named as LightSet's accessors that read them on the CPU. The
// fields' bit positions (LIGHT_..._SHIFT) come from LightSet's constants, defined in
// front of this file by shaders.cpp, so both sides read the same bits. Used with a
// literal, each is a constant expression: the compiler keeps only that light's code.
#define LIGHT_GROUP(d) (((d) >> LIGHT_GROUP_SHIFT) & 7)          // 0-2 shadowed, 3-5 not; directional, spot, omni
#define LIGHT_KIND(d) (LIGHT_GROUP(d) % 3)                       // 0 directional, 1 spot, 2 omni
#define LIGHT_SHADOWED(d) (LIGHT_GROUP(d) < 3)
#define LIGHT_FALLOFF(d) (((d) >> LIGHT_FALLOFF_SHIFT) & 3)      // attenuation exponent 1 or 2; 0 any other
#define LIGHT_SPECULAR(d) ((((d) >> LIGHT_SPECULAR_SHIFT) & 1) != 0)  // reflects specularly
#define LIGHT_SPREAD(d) ((((d) >> LIGHT_SPREAD_SHIFT) & 1) != 0)      // shadow filter wider than one bilinear tap
#define LIGHT_WIDE(d) ((((d) >> LIGHT_WIDE_SHIFT) & 1) != 0)          // spot cone too wide for its shadow map
