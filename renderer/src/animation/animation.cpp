// The animation queries of r3d.h: a model's clips and joints, and a joint's place in a pose.
#include <cstring>

#include "animation/pose.h"

int R3D_GetModelAnimationCount(R3D_Model model) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_GetModelAnimationCount");
    return data != nullptr ? static_cast<int>(data->clips.size()) : 0;
}

const char* R3D_GetModelAnimationName(R3D_Model model, int clip) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_GetModelAnimationName");
    if (data == nullptr || clip < 0 || static_cast<size_t>(clip) >= data->clips.size()) return "";
    return data->clips[static_cast<size_t>(clip)].name.c_str();
}

float R3D_GetModelAnimationLength(R3D_Model model, int clip) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_GetModelAnimationLength");
    if (data == nullptr || clip < 0 || static_cast<size_t>(clip) >= data->clips.size()) return 0.0f;
    return data->clips[static_cast<size_t>(clip)].length;
}

int R3D_GetModelJointCount(R3D_Model model) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_GetModelJointCount");
    return data != nullptr ? static_cast<int>(data->joints.size()) : 0;
}

int R3D_FindModelJoint(R3D_Model model, const char* name) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_FindModelJoint");
    if (data == nullptr || name == nullptr) return -1;
    for (size_t j = 0; j < data->joints.size(); ++j) {
        if (data->joints[j].name == name) return static_cast<int>(j);
    }
    return -1;
}

Matrix R3D_GetJointTransform(R3D_Model model, R3D_AnimationState state, int joint) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_GetJointTransform");
    if (data == nullptr || joint < 0 || static_cast<size_t>(joint) >= data->joints.size()) {
        return r3d::anim::ToMatrix(r3d::Affine{});
    }
    r3d::Affine world[R3D_MAX_JOINTS];
    r3d::anim::PoseJoints(*data, state, world);
    return r3d::anim::ToMatrix(world[joint]);
}
