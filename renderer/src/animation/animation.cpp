// The animation queries of r3d.h: a model's clips and joints, and a joint's place in a pose.
#include <cstring>

#include "animation/pose.h"

namespace {

const R3D_ModelData* Data(const R3D_Model& model) { return model.data; }

}  // namespace

int R3D_GetModelAnimationCount(R3D_Model model) {
    return Data(model) != nullptr ? static_cast<int>(model.data->clips.size()) : 0;
}

const char* R3D_GetModelAnimationName(R3D_Model model, int clip) {
    if (clip < 0 || clip >= R3D_GetModelAnimationCount(model)) return "";
    return model.data->clips[static_cast<size_t>(clip)].name.c_str();
}

float R3D_GetModelAnimationLength(R3D_Model model, int clip) {
    if (clip < 0 || clip >= R3D_GetModelAnimationCount(model)) return 0.0f;
    return model.data->clips[static_cast<size_t>(clip)].length;
}

int R3D_GetModelJointCount(R3D_Model model) {
    return Data(model) != nullptr ? static_cast<int>(model.data->joints.size()) : 0;
}

int R3D_FindModelJoint(R3D_Model model, const char* name) {
    if (name == nullptr) return -1;
    for (int j = 0; j < R3D_GetModelJointCount(model); ++j) {
        if (model.data->joints[static_cast<size_t>(j)].name == name) return j;
    }
    return -1;
}

Matrix R3D_GetJointTransform(R3D_Model model, R3D_AnimationState state, int joint) {
    if (joint < 0 || joint >= R3D_GetModelJointCount(model)) return r3d::anim::ToMatrix(r3d::Affine{});
    r3d::Affine world[R3D_MAX_JOINTS];
    r3d::anim::PoseJoints(*model.data, state, world);
    return r3d::anim::ToMatrix(world[joint]);
}
