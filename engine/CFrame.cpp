#include "CFrame.h"

#include <cmath>

#include "raymath.h"

namespace {
// 180/pi as a single-precision constant, so degrees come out as the engine always reported them.
constexpr float kDegreesPerRadian = 57.2957763671875f;
}  // namespace

CFrame::CFrame() : Rotation(QuaternionFromEuler(0, 0, 0)), Position{0, 0, 0} {}

Vector3 CFrame::RightVector() const { return Vector3RotateByQuaternion({-1, 0, 0}, Rotation); }
Vector3 CFrame::UpVector() const { return Vector3RotateByQuaternion({0, 1, 0}, Rotation); }
Vector3 CFrame::LookVector() const { return Vector3RotateByQuaternion({0, 0, 1}, Rotation); }

// raymath's QuaternionToEuler (x about X, y about Y, z about Z), but in double
// precision and with the angle about Y as atan2(sine, cosine) instead of the
// arcsine of its sine: near a quarter turn the arcsine turns the last bits of a
// float sine into hundredths of a degree (a quarter turn read 89.98).
Vector3 CFrame::Orientation() const {
    const double x = Rotation.x, y = Rotation.y, z = Rotation.z, w = Rotation.w;
    const double sinY = 2.0 * (w * y - z * x);
    const double cosZcosY = 1.0 - 2.0 * (y * y + z * z), sinZcosY = 2.0 * (w * z + x * y);
    const double ex = std::atan2(2.0 * (w * x + y * z), 1.0 - 2.0 * (x * x + y * y));
    const double ey = std::atan2(sinY, std::hypot(cosZcosY, sinZcosY));
    const double ez = std::atan2(sinZcosY, cosZcosY);
    return {static_cast<float>(ex) * kDegreesPerRadian, static_cast<float>(ey) * kDegreesPerRadian,
            static_cast<float>(ez) * kDegreesPerRadian};
}

// Rotate, then translate. The rotation comes from the quaternion itself, the one
// the renderer draws with: going through Euler angles and MatrixRotateXYZ agrees
// with it about a single axis only, and would ray-test a model turned about two
// axes (a walker's pitch and yaw) in another orientation than the one drawn.
Matrix CFrame::Transform() const {
    Matrix translation = MatrixTranslate(Position.x, Position.y, Position.z);
    return MatrixMultiply(QuaternionToMatrix(Rotation), translation);
}

// The increment is multiplied on the right, so it turns about the object's own axes.
// The product is stored as it comes, without renormalising.
void CFrame::RotateBy(Vector3 angles) {
    Rotation = QuaternionMultiply(Rotation, QuaternionFromEuler(angles.x, angles.y, angles.z));
}

void CFrame::RotateTo(Vector3 angles) { Rotation = QuaternionFromEuler(angles.x, angles.y, angles.z); }
void CFrame::MoveBy(Vector3 offset) { Position = Vector3Add(Position, offset); }
void CFrame::MoveTo(Vector3 position) { Position = position; }
