// CFrame: where a scene object stands and how it is turned. A rotation
// quaternion and a position, with the directions, Euler angles and model
// matrix derived from them. All arithmetic is raymath's.
//
// Axes: right-handed, +Y up. At the identity rotation an object looks along
// +Z, its up is +Y and its right is -X (right = look x up).
// RotateBy/RotateTo take radians; Orientation reports degrees.
#pragma once

#include "raylib.h"

class CFrame {
public:
    Quaternion Rotation;  // unit quaternion (x, y, z, w)
    Vector3 Position;

    CFrame();

    Vector3 RightVector() const;
    Vector3 UpVector() const;
    Vector3 LookVector() const;
    Vector3 Orientation() const;  // Euler angles of the rotation, degrees
    Matrix Transform() const;     // rotate (as drawn, from the quaternion), then translate; no scale

    void RotateBy(Vector3 angles);  // about the object's own current axes
    void RotateTo(Vector3 angles);
    void MoveBy(Vector3 offset);    // world axes
    void MoveTo(Vector3 position);
};
