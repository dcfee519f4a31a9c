// One ray against the model of one "Model" instance.
#include <any>

#include "CFrame.h"
#include "Instance.h"
#include "Lookup.h"
#include "World.h"

namespace World {

RaycastSingle::RaycastSingle(int instance, Vector3 position, Vector3 direction) {
    hit = false;
    // Read without adding a blank record or slot: on anything but a model this throws having changed nothing.
    const std::string& tied = Api::VariableOf<std::string>(instance, "Tied Model", "buffer name (it is not a Model)");
    const CFrame cframe = Api::VariableOf<CFrame>(instance, "CFrame", "transform (it is not a Model)");

    // A model whose buffer was unloaded has nothing to hit; the look-up adds no name.
    auto name = Buffers::Names.find(tied);
    if (name == Buffers::Names.end()) {
        distance = R3D_RAY_MISS_DISTANCE;
        return;
    }
    R3D_Model model = Buffers::Models[name->second];
    Matrix transform = cframe.Transform();

    Ray ray = {position, direction};
    // An animated instance is hit where it was drawn: in its pose.
    auto player = Animation::Players.find(instance);
    RayCollision result = player != Animation::Players.end() && R3D_GetModelAnimationCount(model) > 0
                              ? R3D_RaycastModelPose(ray, model, transform, Animation::State(player->second))
                              : R3D_RaycastModel(ray, model, transform);
    hit = result.hit;
    distance = result.distance;
    point = result.point;
    normal = result.normal;
}

}  // namespace World
