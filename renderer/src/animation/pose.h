// Poses of an animated model: its joints' transforms for one instance's
// animation state (clips sampled, a cross-fade blended, parents applied), the
// skinning matrices the GPU draws with, and the bounds every pose stays in.
#pragma once

#include "internal.h"

namespace r3d::anim {

// The state as it will be drawn: clips out of range are the rest pose (-1), times
// and fade are finite, fade within [0, 1].
R3D_AnimationState Sanitize(const R3D_ModelData& model, R3D_AnimationState state);

// Every joint's transform in model space (model.joints.size() of them).
void PoseJoints(const R3D_ModelData& model, const R3D_AnimationState& state, Affine* world);

// Every joint's skinning matrix (pose times the inverse of its rest): how it moves the
// vertices, which are stored in the rest pose.
void SkinMatrices(const R3D_ModelData& model, const R3D_AnimationState& state, Affine* skin);

// A box in model space around every pose of every clip and the rest pose, from each
// joint's vertices moved by the clips sampled at their keys and 30 times a second.
BoundingBox PoseBounds(const R3D_ModelData& model);

// The mesh's vertices moved by the given skinning matrices.
void SkinPositions(const R3D_MeshData& mesh, const Affine* skin, std::vector<Vector3>& out);

// a * b: b applied first.
Affine Multiply(const Affine& a, const Affine& b);
Affine Inverse(const Affine& a);
Vector3 Apply(const Affine& a, Vector3 p);
Matrix ToMatrix(const Affine& a);
Affine FromMatrix(const Matrix& m);

}  // namespace r3d::anim
