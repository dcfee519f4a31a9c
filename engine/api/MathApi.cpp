// Vector and matrix arithmetic: each entry is the raymath function of the same
// name; Values.h does the conversions (vec2, vec3, mat as lists of floats).
#include "Catalog.h"
#include "raymath.h"

namespace World::Api {
namespace {

// raymath answers equality with an int; the bridge hands back a bool.
bool Vector2EqualsBool(Vector2 p, Vector2 q) { return Vector2Equals(p, q) != 0; }
bool Vector3EqualsBool(Vector3 p, Vector3 q) { return Vector3Equals(p, q) != 0; }

}  // namespace

void AddMathEntries(Catalog& c) {
    c.push_back(Op("Vector2Zero", Vector2Zero));
    c.push_back(Op("Vector2One", Vector2One));
    c.push_back(Op("Vector2Add", Vector2Add));
    c.push_back(Op("Vector2AddValue", Vector2AddValue));
    c.push_back(Op("Vector2Subtract", Vector2Subtract));
    c.push_back(Op("Vector2SubtractValue", Vector2SubtractValue));
    c.push_back(Op("Vector2Length", Vector2Length));
    c.push_back(Op("Vector2LengthSqr", Vector2LengthSqr));
    c.push_back(Op("Vector2DotProduct", Vector2DotProduct));
    c.push_back(Op("Vector2Distance", Vector2Distance));
    c.push_back(Op("Vector2DistanceSqr", Vector2DistanceSqr));
    c.push_back(Op("Vector2Angle", Vector2Angle));
    c.push_back(Op("Vector2LineAngle", Vector2LineAngle));
    c.push_back(Op("Vector2Scale", Vector2Scale));
    c.push_back(Op("Vector2Multiply", Vector2Multiply));
    c.push_back(Op("Vector2Negate", Vector2Negate));
    c.push_back(Op("Vector2Divide", Vector2Divide));
    c.push_back(Op("Vector2Normalize", Vector2Normalize));
    c.push_back(Op("Vector2Transform", Vector2Transform));
    c.push_back(Op("Vector2Lerp", Vector2Lerp));
    c.push_back(Op("Vector2Reflect", Vector2Reflect));
    c.push_back(Op("Vector2Min", Vector2Min));
    c.push_back(Op("Vector2Max", Vector2Max));
    c.push_back(Op("Vector2Rotate", Vector2Rotate));
    c.push_back(Op("Vector2MoveTowards", Vector2MoveTowards));
    c.push_back(Op("Vector2Invert", Vector2Invert));
    c.push_back(Op("Vector2Clamp", Vector2Clamp));
    c.push_back(Op("Vector2ClampValue", Vector2ClampValue));
    c.push_back(Op("Vector2Equals", Vector2EqualsBool));
    c.push_back(Op("Vector2Refract", Vector2Refract));
    c.push_back(Op("Vector3Zero", Vector3Zero));
    c.push_back(Op("Vector3One", Vector3One));
    c.push_back(Op("Vector3Add", Vector3Add));
    c.push_back(Op("Vector3AddValue", Vector3AddValue));
    c.push_back(Op("Vector3Subtract", Vector3Subtract));
    c.push_back(Op("Vector3SubtractValue", Vector3SubtractValue));
    c.push_back(Op("Vector3Scale", Vector3Scale));
    c.push_back(Op("Vector3Multiply", Vector3Multiply));
    c.push_back(Op("Vector3CrossProduct", Vector3CrossProduct));
    c.push_back(Op("Vector3Perpendicular", Vector3Perpendicular));
    c.push_back(Op("Vector3Length", Vector3Length));
    c.push_back(Op("Vector3LengthSqr", Vector3LengthSqr));
    c.push_back(Op("Vector3DotProduct", Vector3DotProduct));
    c.push_back(Op("Vector3Distance", Vector3Distance));
    c.push_back(Op("Vector3DistanceSqr", Vector3DistanceSqr));
    c.push_back(Op("Vector3Angle", Vector3Angle));
    c.push_back(Op("Vector3Negate", Vector3Negate));
    c.push_back(Op("Vector3Divide", Vector3Divide));
    c.push_back(Op("Vector3Normalize", Vector3Normalize));
    c.push_back(Op("Vector3Project", Vector3Project));
    c.push_back(Op("Vector3Reject", Vector3Reject));
    c.push_back(Op("Vector3Transform", Vector3Transform));
    c.push_back(Op("Vector3RotateByAxisAngle", Vector3RotateByAxisAngle));
    c.push_back(Op("Vector3MoveTowards", Vector3MoveTowards));
    c.push_back(Op("Vector3Lerp", Vector3Lerp));
    c.push_back(Op("Vector3CubicHermite", Vector3CubicHermite));
    c.push_back(Op("Vector3Reflect", Vector3Reflect));
    c.push_back(Op("Vector3Min", Vector3Min));
    c.push_back(Op("Vector3Max", Vector3Max));
    c.push_back(Op("Vector3Barycenter", Vector3Barycenter));
    c.push_back(Op("Vector3Invert", Vector3Invert));
    c.push_back(Op("Vector3Clamp", Vector3Clamp));
    c.push_back(Op("Vector3ClampValue", Vector3ClampValue));
    c.push_back(Op("Vector3Equals", Vector3EqualsBool));
    c.push_back(Op("Vector3Refract", Vector3Refract));
    c.push_back(Op("MatrixDeterminant", MatrixDeterminant));
    c.push_back(Op("MatrixTrace", MatrixTrace));
    c.push_back(Op("MatrixTranspose", MatrixTranspose));
    c.push_back(Op("MatrixIdentity", MatrixIdentity));
    c.push_back(Op("MatrixAdd", MatrixAdd));
    c.push_back(Op("MatrixSubtract", MatrixSubtract));
    c.push_back(Op("MatrixMultiply", MatrixMultiply));
    c.push_back(Op("MatrixTranslate", MatrixTranslate));
    c.push_back(Op("MatrixRotate", MatrixRotate));
    c.push_back(Op("MatrixRotateXYZ", MatrixRotateXYZ));
    c.push_back(Op("MatrixScale", MatrixScale));
}

}  // namespace World::Api
