// CFrame entries (a transform reached through a variable handle) and Model
// entries (scale, colour and buffer of a drawn model, by instance id). Every
// change is made in place: buffers read these values by address each frame.
#include <typeinfo>

#include "CFrame.h"
#include "Catalog.h"
#include "Instance.h"
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

// A variable of a model found by address, to be changed in place.
template <class T>
T& InPlace(int id, const char* variable, const char* kind) {
    T* value = std::any_cast<T>(&Instances[id].Variables[variable]);
    if (!value)
        throw BadValue("instance " + std::to_string(id) + " has no \"" + variable + "\" " + kind +
                       " (it is not a Model)");
    return *value;
}

Vector3 GetScale(int id) { return std::any_cast<Vector3>(Instances[id].Variables["Scale"]); }
void SetScale(int id, Vector3 scale) { InPlace<Vector3>(id, "Scale", "vector") = scale; }
Color GetColor(int id) { return std::any_cast<Color>(Instances[id].Variables["Color"]); }
void SetColor(int id, Color color) { InPlace<Color>(id, "Color", "colour") = color; }
std::string GetModel(int id) { return std::any_cast<std::string>(Instances[id].Variables["Tied Model"]); }

// Leaves the old buffer, resets the values (their addresses may change now that
// no buffer points at them) and joins the new buffer under a fresh slot.
// Argument 1 is read only after the reset, as the game has always seen it.
void SetModel(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    Instance& inst = Instances[id];
    const int slot = std::any_cast<int>(inst.Variables["Buffer Index"]);
    Buffers::UnmapInstance(std::any_cast<std::string>(inst.Variables["Tied Model"]), slot);
    // New values, new addresses; the slots themselves stay, so a handle to
    // "CFrame" obtained earlier reaches the reset transform.
    inst.Variables["CFrame"] = CFrame();
    inst.Variables["Color"] = Color{0, 0, 0, 0};
    inst.Variables["Scale"] = Vector3{0, 0, 0};
    inst.Variables["Tied Model"] = Arg<std::string>(params, 1, entry);
    CFrame& cframe = *std::any_cast<CFrame>(&inst.Variables["CFrame"]);
    Vector3* scale = std::any_cast<Vector3>(&inst.Variables["Scale"]);
    Color* color = std::any_cast<Color>(&inst.Variables["Color"]);
    inst.Variables["Buffer Index"] = Buffers::MapInstance(std::any_cast<const std::string&>(inst.Variables["Tied Model"]),
                                                          &cframe.Position, &cframe.Rotation, scale, color);
}

}  // namespace

void AddCFrameEntries(Catalog& c) {
    c.push_back(Op("CFrame.RightVector", RightVector));
    c.push_back(Op("CFrame.UpVector", UpVector));
    c.push_back(Op("CFrame.LookVector", LookVector));
    c.push_back(Op("CFrame.Orientation", Orientation));
    c.push_back(Op("CFrame.Position", Position));
    c.push_back(Op("CFrame.Transform", Transform));
    c.push_back(Func("CFrame.RotateBy", RotateBy));
    c.push_back(Func("CFrame.RotateTo", RotateTo));
    c.push_back(Func("CFrame.MoveBy", MoveBy));
    c.push_back(Func("CFrame.MoveTo", MoveTo));
    c.push_back(Op("Model.GetScale", GetScale));
    c.push_back(Func("Model.SetScale", SetScale));
    c.push_back(Op("Model.GetColor", GetColor));
    c.push_back(Func("Model.SetColor", SetColor));
    c.push_back(Op("Model.GetModel", GetModel));
    c.push_back(RawFunc<int, std::string>("Model.SetModel", SetModel));
}

}  // namespace World::Api
