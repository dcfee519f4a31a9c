#include "Harness.h"

#include "FakeR3D.h"
#include "Instance.h"
#include "World.h"

namespace Harness {
namespace {

Api* current = nullptr;

void DefineOp(std::string name, game_op op) {
    current->order.push_back({name, true});
    current->ops[name] = op;
}
void DefineFunc(std::string name, game_func func) {
    current->order.push_back({name, false});
    current->funcs[name] = func;
}

}  // namespace

Api& Fresh() {
    static Api api;
    api = Api();
    current = &api;

    Instances.clear();
    inst_count = 0;
    LiveHandles.clear();
    World::Buffers::Names.clear();
    World::Buffers::Buffers.clear();
    World::Buffers::Models.clear();
    World::Buffers::Positions.clear();
    World::Buffers::Rotations.clear();
    World::Buffers::Scales.clear();
    World::Buffers::Colors.clear();
    World::Buffers::Players.clear();
    World::Animation::Players.clear();
    World::Buffers::BufferCount = 0;
    World::Buffers::InstanceCount = 0;
    A3D_Close();  // every sound, music and emitter of the audio layer goes
    World::Sounds::Names.clear();
    World::Sounds::Music.clear();
    World::Sounds::Placed.clear();
    World::Particles::Emitters.clear();
    S2D_Close();  // every font and image of the screen layer goes
    World::Screen::Fonts = {{World::Screen::kDefaultFont, S2D_Font{0}}};
    World::Screen::Images.clear();
    World::Physics::Clear();  // every body and character of the physics layer goes
    FakeR3D::Reset();
    GameCamera = {};

    game_def_op = DefineOp;
    game_def_func = DefineFunc;
    World::Initialize();
    return api;
}

int Api::New(const std::string& kind, const std::string& extra) const {
    Params params{kind};
    if (!extra.empty()) params.push_back(extra);
    return std::any_cast<int>(Op("Instance.New", params));
}

std::any* Api::Get(int id, const std::string& variable) const {
    return std::any_cast<std::any*>(Op("Instance.Get", {id, variable}));
}

std::vector<float> List(const std::any& value) { return std::any_cast<std::vector<float>>(value); }

}  // namespace Harness
