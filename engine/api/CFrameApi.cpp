// CFrame entries (a transform reached through a variable handle) and Model
// entries (scale, colour and buffer of a drawn model, by instance id). Every
// change is made in place: buffers read these values by address each frame.
#include <typeinfo>

#include "CFrame.h"
#include "Catalog.h"
#include "Instance.h"
#include "Lookup.h"
#include "World.h"

namespace World::Api {
namespace {

// The CFrame a handle addresses. A handle must be live (its record exists) and
// its slot must hold a CFrame; anything else is an exception, never a read of
// freed or foreign memory.
struct CFrameRef {
    CFrame* value;
    CFrame* operator->() const { return value; }
};

std::string Place(std::size_t position) { return "argument " + std::to_string(position); }

}  // namespace

template <>
struct Kind<CFrameRef> {
    static constexpr KindInfo kInfo{"handle", "handle of a CFrame variable, from \"Instance.Get\""};
    static CFrameRef Read(const std::any& value, const char* entry, std::size_t position) {
        std::any* handle = std::any_cast<std::any*>(value);
        if (!LiveHandles.count(handle))
            throw StaleHandle(std::string(entry) + ": " + Place(position) +
                              " is not a live variable handle (its instance was destroyed, or it did not come from "
                              "\"Instance.Get\")");
        CFrame* cframe = std::any_cast<CFrame>(handle);
        if (!cframe)
            throw BadValue(std::string(entry) + ": " + Place(position) + " addresses a variable that " +
                           (handle->has_value() ? "holds another type" : "is empty") + ", not a CFrame");
        return {cframe};
    }
};

namespace {

Vector3 RightVector(CFrameRef c) { return c->RightVector(); }
Vector3 UpVector(CFrameRef c) { return c->UpVector(); }
Vector3 LookVector(CFrameRef c) { return c->LookVector(); }
Vector3 Orientation(CFrameRef c) { return c->Orientation(); }
Vector3 Position(CFrameRef c) { return c->Position; }
Matrix Transform(CFrameRef c) { return c->Transform(); }
void RotateBy(CFrameRef c, Vector3 angles) { c->RotateBy(angles); }
void RotateTo(CFrameRef c, Vector3 angles) { c->RotateTo(angles); }
void MoveBy(CFrameRef c, Vector3 offset) { c->MoveBy(offset); }
void MoveTo(CFrameRef c, Vector3 position) { c->MoveTo(position); }

// The variables of a model, found without adding anything, so that an entry
// on another kind of instance throws having changed nothing.
Vector3 GetScale(int id) { return VariableOf<Vector3>(id, "Scale", "vector (it is not a Model)"); }
void SetScale(int id, Vector3 scale) { VariableOf<Vector3>(id, "Scale", "vector (it is not a Model)") = scale; }
Color GetColor(int id) { return VariableOf<Color>(id, "Color", "colour (it is not a Model)"); }
void SetColor(int id, Color color) { VariableOf<Color>(id, "Color", "colour (it is not a Model)") = color; }
std::string GetModel(int id) { return VariableOf<std::string>(id, "Tied Model", "buffer name (it is not a Model)"); }

// Leaves the old buffer, resets the values (their addresses may change now that
// no buffer points at them) and joins the new buffer under a fresh slot. Both
// arguments and the old mapping are read before anything changes, so a call
// that throws leaves the model drawn where it was.
void SetModel(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    std::string buffer = Arg<std::string>(params, 1, entry);
    const int slot = VariableOf<int>(id, "Buffer Index", "slot number (it is not a Model)");
    const std::string old = VariableOf<std::string>(id, "Tied Model", "buffer name (it is not a Model)");
    Instance& inst = Instances[id];
    Buffers::UnmapInstance(old, slot);
    // New values, new addresses; the slots themselves stay, so a handle to
    // "CFrame" obtained earlier reaches the reset transform.
    inst.Variables["CFrame"] = CFrame();
    inst.Variables["Color"] = Color{0, 0, 0, 0};
    inst.Variables["Scale"] = Vector3{0, 0, 0};
    inst.Variables["Tied Model"] = std::move(buffer);
    CFrame& cframe = *std::any_cast<CFrame>(&inst.Variables["CFrame"]);
    Vector3* scale = std::any_cast<Vector3>(&inst.Variables["Scale"]);
    Color* color = std::any_cast<Color>(&inst.Variables["Color"]);
    Animation::Player& player = Animation::Players[id] = Animation::Player{};  // another model's clips
    inst.Variables["Buffer Index"] = Buffers::MapInstance(std::any_cast<const std::string&>(inst.Variables["Tied Model"]),
                                                          &cframe.Position, &cframe.Rotation, scale, color, &player);
}

}  // namespace

void AddCFrameEntries(Catalog& c) {
    c.push_back(Op("CFrame.RightVector", RightVector, "Right direction of the transform.", {"CFrame"}));
    c.push_back(Op("CFrame.UpVector", UpVector, "Up direction.", {"CFrame"}));
    c.push_back(Op("CFrame.LookVector", LookVector, "Look direction.", {"CFrame"}));
    c.push_back(Op("CFrame.Orientation", Orientation, "Rotation as Euler angles in degrees.", {"CFrame"}));
    c.push_back(Op("CFrame.Position", Position, "Position.", {"CFrame"}));
    c.push_back(Op("CFrame.Transform", Transform, "Model matrix of the transform.", {"CFrame"}));
    c.push_back(Func("CFrame.RotateBy", RotateBy, "Adds a rotation.", {"CFrame", "Euler angles in radians"}));
    c.push_back(Func("CFrame.RotateTo", RotateTo, "Sets the rotation.", {"CFrame", "Euler angles in radians"}));
    c.push_back(Func("CFrame.MoveBy", MoveBy, "Moves the position by the offset.", {"CFrame", "offset"}));
    c.push_back(Func("CFrame.MoveTo", MoveTo, "Sets the position.", {"CFrame", "position"}));
    c.push_back(Op("Model.GetScale", GetScale, "The model's scale.", {"id"}));
    c.push_back(Func("Model.SetScale", SetScale, "Sets the scale.", {"id", "scale"}));
    c.push_back(Op("Model.GetColor", GetColor, "The model's packed colour.", {"id"}));
    c.push_back(Func("Model.SetColor", SetColor, "Sets the colour.", {"id", "packed colour"}));
    c.push_back(Op("Model.GetModel", GetModel, "Name of the model buffer the instance is drawn from.", {"id"}));
    c.push_back(RawFunc<int, std::string>("Model.SetModel", SetModel,
        "Moves the instance into another model buffer.",
        {"id", "model buffer name"}));
}

}  // namespace World::Api
