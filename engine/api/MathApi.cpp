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
    c.push_back(Op("Vector2Zero", Vector2Zero, "(0, 0).", {}));
    c.push_back(Op("Vector2One", Vector2One, "(1, 1).", {}));
    c.push_back(Op("Vector2Add", Vector2Add, "Sum of the two.", {"", ""}));
    c.push_back(Op("Vector2AddValue", Vector2AddValue, "Adds the value to each element.", {"", ""}));
    c.push_back(Op("Vector2Subtract", Vector2Subtract, "Difference of the two.", {"", ""}));
    c.push_back(Op("Vector2SubtractValue", Vector2SubtractValue, "Subtracts the value from each element.", {"", ""}));
    c.push_back(Op("Vector2Length", Vector2Length, "Length.", {""}));
    c.push_back(Op("Vector2LengthSqr", Vector2LengthSqr, "Squared length.", {""}));
    c.push_back(Op("Vector2DotProduct", Vector2DotProduct, "Dot product.", {"", ""}));
    c.push_back(Op("Vector2Distance", Vector2Distance, "Distance between the two.", {"", ""}));
    c.push_back(Op("Vector2DistanceSqr", Vector2DistanceSqr, "Squared distance.", {"", ""}));
    c.push_back(Op("Vector2Angle", Vector2Angle, "Angle between the two.", {"", ""}));
    c.push_back(Op("Vector2LineAngle", Vector2LineAngle, "Angle of the line from start to end.", {"start", "end"}));
    c.push_back(Op("Vector2Scale", Vector2Scale, "Scaled vector.", {"", ""}));
    c.push_back(Op("Vector2Multiply", Vector2Multiply, "Element-wise product.", {"", ""}));
    c.push_back(Op("Vector2Negate", Vector2Negate, "Negation.", {""}));
    c.push_back(Op("Vector2Divide", Vector2Divide, "Element-wise quotient.", {"", ""}));
    c.push_back(Op("Vector2Normalize", Vector2Normalize, "Unit vector.", {""}));
    c.push_back(Op("Vector2Transform", Vector2Transform, "Vector transformed by the matrix.", {"", ""}));
    c.push_back(Op("Vector2Lerp", Vector2Lerp, "Linear interpolation.", {"", "", "amount"}));
    c.push_back(Op("Vector2Reflect", Vector2Reflect, "Reflection.", {"", "normal"}));
    c.push_back(Op("Vector2Min", Vector2Min, "Element-wise minimum.", {"", ""}));
    c.push_back(Op("Vector2Max", Vector2Max, "Element-wise maximum.", {"", ""}));
    c.push_back(Op("Vector2Rotate", Vector2Rotate, "Rotated vector.", {"", "angle in radians"}));
    c.push_back(Op("Vector2MoveTowards", Vector2MoveTowards,
        "Step toward the target.",
        {"", "target", "maximum distance"}));
    c.push_back(Op("Vector2Invert", Vector2Invert, "Element-wise reciprocal.", {""}));
    c.push_back(Op("Vector2Clamp", Vector2Clamp, "Element-wise clamp.", {"", "minimum", "maximum"}));
    c.push_back(Op("Vector2ClampValue", Vector2ClampValue, "Vector with clamped length.", {"", "minimum", "maximum"}));
    c.push_back(Op("Vector2Equals", Vector2EqualsBool, "Approximate equality.", {"", ""}));
    c.push_back(Op("Vector2Refract", Vector2Refract, "Refraction.", {"", "normal", "ratio"}));
    c.push_back(Op("Vector3Zero", Vector3Zero, "(0, 0, 0).", {}));
    c.push_back(Op("Vector3One", Vector3One, "(1, 1, 1).", {}));
    c.push_back(Op("Vector3Add", Vector3Add, "Sum of the two.", {"", ""}));
    c.push_back(Op("Vector3AddValue", Vector3AddValue, "Adds the value to each element.", {"", ""}));
    c.push_back(Op("Vector3Subtract", Vector3Subtract, "Difference of the two.", {"", ""}));
    c.push_back(Op("Vector3SubtractValue", Vector3SubtractValue, "Subtracts the value from each element.", {"", ""}));
    c.push_back(Op("Vector3Scale", Vector3Scale, "Scaled vector.", {"", ""}));
    c.push_back(Op("Vector3Multiply", Vector3Multiply, "Element-wise product.", {"", ""}));
    c.push_back(Op("Vector3CrossProduct", Vector3CrossProduct, "Cross product.", {"", ""}));
    c.push_back(Op("Vector3Perpendicular", Vector3Perpendicular, "A perpendicular vector.", {""}));
    c.push_back(Op("Vector3Length", Vector3Length, "Length.", {""}));
    c.push_back(Op("Vector3LengthSqr", Vector3LengthSqr, "Squared length.", {""}));
    c.push_back(Op("Vector3DotProduct", Vector3DotProduct, "Dot product.", {"", ""}));
    c.push_back(Op("Vector3Distance", Vector3Distance, "Distance.", {"", ""}));
    c.push_back(Op("Vector3DistanceSqr", Vector3DistanceSqr, "Squared distance.", {"", ""}));
    c.push_back(Op("Vector3Angle", Vector3Angle, "Angle between the two.", {"", ""}));
    c.push_back(Op("Vector3Negate", Vector3Negate, "Negation.", {""}));
    c.push_back(Op("Vector3Divide", Vector3Divide, "Element-wise quotient.", {"", ""}));
    c.push_back(Op("Vector3Normalize", Vector3Normalize, "Unit vector.", {""}));
    c.push_back(Op("Vector3Project", Vector3Project, "Projection of argument 0 on argument 1.", {"", ""}));
    c.push_back(Op("Vector3Reject", Vector3Reject, "Rejection of argument 0 from argument 1.", {"", ""}));
    c.push_back(Op("Vector3Transform", Vector3Transform, "Point transformed by the matrix.", {"", ""}));
    c.push_back(Op("Vector3RotateByAxisAngle", Vector3RotateByAxisAngle,
        "Rotated vector.",
        {"", "axis", "angle in radians"}));
    c.push_back(Op("Vector3MoveTowards", Vector3MoveTowards,
        "Step toward the target.",
        {"", "target", "maximum distance"}));
    c.push_back(Op("Vector3Lerp", Vector3Lerp, "Linear interpolation.", {"", "", "amount"}));
    c.push_back(Op("Vector3CubicHermite", Vector3CubicHermite,
        "Cubic Hermite interpolation.",
        {"", "tangent", "", "tangent", "amount"}));
    c.push_back(Op("Vector3Reflect", Vector3Reflect, "Reflection.", {"", "normal"}));
    c.push_back(Op("Vector3Min", Vector3Min, "Element-wise minimum.", {"", ""}));
    c.push_back(Op("Vector3Max", Vector3Max, "Element-wise maximum.", {"", ""}));
    c.push_back(Op("Vector3Barycenter", Vector3Barycenter,
        "Barycentric coordinates of the point.",
        {"point", "corner a", "corner b", "corner c"}));
    c.push_back(Op("Vector3Invert", Vector3Invert, "Element-wise reciprocal.", {""}));
    c.push_back(Op("Vector3Clamp", Vector3Clamp, "Element-wise clamp.", {"", "minimum", "maximum"}));
    c.push_back(Op("Vector3ClampValue", Vector3ClampValue, "Vector with clamped length.", {"", "minimum", "maximum"}));
    c.push_back(Op("Vector3Equals", Vector3EqualsBool, "Approximate equality.", {"", ""}));
    c.push_back(Op("Vector3Refract", Vector3Refract, "Refraction.", {"", "normal", "ratio"}));
    c.push_back(Op("MatrixDeterminant", MatrixDeterminant, "Determinant.", {""}));
    c.push_back(Op("MatrixTrace", MatrixTrace, "Trace.", {""}));
    c.push_back(Op("MatrixTranspose", MatrixTranspose, "Transpose.", {""}));
    c.push_back(Op("MatrixIdentity", MatrixIdentity, "Identity.", {}));
    c.push_back(Op("MatrixAdd", MatrixAdd, "Sum of the two.", {"", ""}));
    c.push_back(Op("MatrixSubtract", MatrixSubtract, "Difference of the two.", {"", ""}));
    c.push_back(Op("MatrixMultiply", MatrixMultiply, "Product.", {"", ""}));
    c.push_back(Op("MatrixTranslate", MatrixTranslate, "Translation matrix.", {"x", "y", "z"}));
    c.push_back(Op("MatrixRotate", MatrixRotate, "Rotation about the axis.", {"axis", "angle in radians"}));
    c.push_back(Op("MatrixRotateXYZ", MatrixRotateXYZ, "Rotation from Euler angles.", {"angles in radians"}));
    c.push_back(Op("MatrixScale", MatrixScale, "Scaling matrix.", {"x", "y", "z"}));
}

}  // namespace World::Api
