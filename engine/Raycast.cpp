// One ray against the model of one "Model" instance.
#include <any>

#include "CFrame.h"
#include "Instance.h"
#include "World.h"

namespace World {

RaycastSingle::RaycastSingle(int instance, Vector3 position, Vector3 direction) {
    hit = false;
    Instance& record = Instances[instance];
    const std::string tied = std::any_cast<std::string>(record.Variables["Tied Model"]);

    // A model whose buffer was unloaded has nothing to hit; the look-up adds no name.
    auto name = Buffers::Names.find(tied);
    if (name == Buffers::Names.end()) {
        distance = R3D_RAY_MISS_DISTANCE;
        return;
    }
    R3D_Model model = Buffers::Models[name->second];
    const CFrame cframe = std::any_cast<CFrame>(record.Variables["CFrame"]);
    Matrix transform = cframe.Transform();

    Ray ray = {position, direction};
    RayCollision result = R3D_RaycastModel(ray, model, transform);
    hit = result.hit;
    distance = result.distance;
    point = result.point;
    normal = result.normal;
}

}  // namespace World
