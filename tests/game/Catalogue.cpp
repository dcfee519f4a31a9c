// Every host entry in registration order (171: 128 with a result, 43 without).
#include "Catalogue.h"

#include <unordered_map>

namespace GameTest {

const std::vector<EntrySpec>& Catalogue() {
    static const std::vector<EntrySpec> entries = {
    {"Instance.New", Op, {Str, Str}, Int},
    {"Instance.GetParent", Op, {Int}, Int},
    {"Instance.SetParent", Func, {Int, Int}, None},
    {"Instance.GetName", Op, {Int}, Str},
    {"Instance.SetName", Func, {Int, Str}, None},
    {"Instance.Type", Op, {Int}, Str},
    {"Instance.Destroy", Func, {Int}, None},
    {"Instance.GetChildren", Op, {Int}, Children},
    {"Instance.GetChild", Op, {Int, Str}, Int},
    {"Instance.Get", Op, {Int, Str}, Handle},
    {"CFrame.RightVector", Op, {Handle}, Vec3},
    {"CFrame.UpVector", Op, {Handle}, Vec3},
    {"CFrame.LookVector", Op, {Handle}, Vec3},
    {"CFrame.Orientation", Op, {Handle}, Vec3},
    {"CFrame.Position", Op, {Handle}, Vec3},
    {"CFrame.Transform", Op, {Handle}, Mat},
    {"CFrame.RotateBy", Func, {Handle, Vec3}, None},
    {"CFrame.RotateTo", Func, {Handle, Vec3}, None},
    {"CFrame.MoveBy", Func, {Handle, Vec3}, None},
    {"CFrame.MoveTo", Func, {Handle, Vec3}, None},
    {"Model.GetScale", Op, {Int}, Vec3},
    {"Model.SetScale", Func, {Int, Vec3}, None},
    {"Model.GetColor", Op, {Int}, Int},
    {"Model.SetColor", Func, {Int, Int}, None},
    {"Model.GetModel", Op, {Int}, Str},
    {"Model.SetModel", Func, {Int, Str}, None},
    {"Light.GetType", Op, {Int}, Str},
    {"Light.IsActive", Op, {Int}, Bool},
    {"Light.Toggle", Func, {Int}, None},
    {"Light.SetState", Func, {Int, Bool}, None},
    {"Light.GetColor", Op, {Int}, Int},
    {"Light.SetColor", Func, {Int, Int}, None},
    {"Light.GetPosition", Op, {Int}, Vec3},
    {"Light.SetPosition", Func, {Int, Vec3}, None},
    {"Light.GetDirection", Op, {Int}, Vec3},
    {"Light.SetDirection", Func, {Int, Vec3}, None},
    {"Light.GetEnergy", Op, {Int}, Float},
    {"Light.SetEnergy", Func, {Int, Float}, None},
    {"Light.GetSpecular", Op, {Int}, Float},
    {"Light.SetSpecular", Func, {Int, Float}, None},
    {"Light.GetRange", Op, {Int}, Float},
    {"Light.SetRange", Func, {Int, Float}, None},
    {"Light.GetAttenuation", Op, {Int}, Float},
    {"Light.SetAttenuation", Func, {Int, Float}, None},
    {"Light.GetInnerCutoff", Op, {Int}, Float},
    {"Light.SetInnerCutoff", Func, {Int, Float}, None},
    {"Light.GetOuterCutoff", Op, {Int}, Float},
    {"Light.SetOuterCutoff", Func, {Int, Float}, None},
    {"Light.EnableShadow", Func, {Int}, None},
    {"Light.DisableShadow", Func, {Int}, None},
    {"Light.IsShadowEnabled", Op, {Int}, Bool},
    {"Light.GetShadowUpdateMode", Op, {Int}, Str},
    {"Light.SetShadowUpdateMode", Func, {Int, Str}, None},
    {"Light.GetShadowUpdateFrequency", Op, {Int}, Int},
    {"Light.SetShadowUpdateFrequency", Func, {Int, Int}, None},
    {"Light.UpdateShadow", Func, {Int}, None},
    {"Light.GetSoftness", Op, {Int}, Float},
    {"Light.SetSoftness", Func, {Int, Float}, None},
    {"Light.GetDepthBias", Op, {Int}, Float},
    {"Light.SetDepthBias", Func, {Int, Float}, None},
    {"Light.GetSlopeBias", Op, {Int}, Float},
    {"Light.SetSlopeBias", Func, {Int, Float}, None},
    {"IsKeyPressed", Op, {Int}, Bool},
    {"IsKeyPressedRepeat", Op, {Int}, Bool},
    {"IsKeyDown", Op, {Int}, Bool},
    {"IsKeyReleased", Op, {Int}, Bool},
    {"GetKeyPressed", Op, {}, Int},
    {"GetCharPressed", Op, {}, Int},
    {"SetExitKey", Func, {Int}, None},
    {"IsMouseButtonPressed", Op, {Int}, Bool},
    {"IsMouseButtonDown", Op, {Int}, Bool},
    {"IsMouseButtonReleased", Op, {Int}, Bool},
    {"IsMouseButtonUp", Op, {Int}, Bool},
    {"GetMouseX", Op, {}, Int},
    {"GetMouseY", Op, {}, Int},
    {"GetMousePosition", Op, {}, Vec2},
    {"GetMouseDelta", Op, {}, Vec2},
    {"SetMousePosition", Func, {Vec2}, None},
    {"SetMouseOffset", Func, {Vec2}, None},
    {"GetMouseWheel", Op, {}, Vec2},
    {"SetMouseCursor", Func, {Int}, None},
    {"ShowCursor", Func, {}, None},
    {"HideCursor", Func, {}, None},
    {"IsCursorHidden", Op, {}, Bool},
    {"EnableCursor", Func, {}, None},
    {"DisableCursor", Func, {}, None},
    {"IsCursorOnScreen", Op, {}, Bool},
    {"SetCameraLookDirection", Func, {Vec3}, None},
    {"SetCameraUpDirection", Func, {Vec3}, None},
    {"SetCameraPosition", Func, {Vec3}, None},
    {"SetCameraFOV", Func, {Float}, None},
    {"DeltaTime", Op, {}, Float},
    {"LoadModel", Func, {Str, Str, Int}, None},
    {"UnloadModel", Func, {Str}, None},
    {"Vector2Zero", Op, {}, Vec2},
    {"Vector2One", Op, {}, Vec2},
    {"Vector2Add", Op, {Vec2, Vec2}, Vec2},
    {"Vector2AddValue", Op, {Vec2, Float}, Vec2},
    {"Vector2Subtract", Op, {Vec2, Vec2}, Vec2},
    {"Vector2SubtractValue", Op, {Vec2, Float}, Vec2},
    {"Vector2Length", Op, {Vec2}, Float},
    {"Vector2LengthSqr", Op, {Vec2}, Float},
    {"Vector2DotProduct", Op, {Vec2, Vec2}, Float},
    {"Vector2Distance", Op, {Vec2, Vec2}, Float},
    {"Vector2DistanceSqr", Op, {Vec2, Vec2}, Float},
    {"Vector2Angle", Op, {Vec2, Vec2}, Float},
    {"Vector2LineAngle", Op, {Vec2, Vec2}, Float},
    {"Vector2Scale", Op, {Vec2, Float}, Vec2},
    {"Vector2Multiply", Op, {Vec2, Vec2}, Vec2},
    {"Vector2Negate", Op, {Vec2}, Vec2},
    {"Vector2Divide", Op, {Vec2, Vec2}, Vec2},
    {"Vector2Normalize", Op, {Vec2}, Vec2},
    {"Vector2Transform", Op, {Vec2, Mat}, Vec2},
    {"Vector2Lerp", Op, {Vec2, Vec2, Float}, Vec2},
    {"Vector2Reflect", Op, {Vec2, Vec2}, Vec2},
    {"Vector2Min", Op, {Vec2, Vec2}, Vec2},
    {"Vector2Max", Op, {Vec2, Vec2}, Vec2},
    {"Vector2Rotate", Op, {Vec2, Float}, Vec2},
    {"Vector2MoveTowards", Op, {Vec2, Vec2, Float}, Vec2},
    {"Vector2Invert", Op, {Vec2}, Vec2},
    {"Vector2Clamp", Op, {Vec2, Vec2, Vec2}, Vec2},
    {"Vector2ClampValue", Op, {Vec2, Float, Float}, Vec2},
    {"Vector2Equals", Op, {Vec2, Vec2}, Bool},
    {"Vector2Refract", Op, {Vec2, Vec2, Float}, Vec2},
    {"Vector3Zero", Op, {}, Vec3},
    {"Vector3One", Op, {}, Vec3},
    {"Vector3Add", Op, {Vec3, Vec3}, Vec3},
    {"Vector3AddValue", Op, {Vec3, Float}, Vec3},
    {"Vector3Subtract", Op, {Vec3, Vec3}, Vec3},
    {"Vector3SubtractValue", Op, {Vec3, Float}, Vec3},
    {"Vector3Scale", Op, {Vec3, Float}, Vec3},
    {"Vector3Multiply", Op, {Vec3, Vec3}, Vec3},
    {"Vector3CrossProduct", Op, {Vec3, Vec3}, Vec3},
    {"Vector3Perpendicular", Op, {Vec3}, Vec3},
    {"Vector3Length", Op, {Vec3}, Float},
    {"Vector3LengthSqr", Op, {Vec3}, Float},
    {"Vector3DotProduct", Op, {Vec3, Vec3}, Float},
    {"Vector3Distance", Op, {Vec3, Vec3}, Float},
    {"Vector3DistanceSqr", Op, {Vec3, Vec3}, Float},
    {"Vector3Angle", Op, {Vec3, Vec3}, Float},
    {"Vector3Negate", Op, {Vec3}, Vec3},
    {"Vector3Divide", Op, {Vec3, Vec3}, Vec3},
    {"Vector3Normalize", Op, {Vec3}, Vec3},
    {"Vector3Project", Op, {Vec3, Vec3}, Vec3},
    {"Vector3Reject", Op, {Vec3, Vec3}, Vec3},
    {"Vector3Transform", Op, {Vec3, Mat}, Vec3},
    {"Vector3RotateByAxisAngle", Op, {Vec3, Vec3, Float}, Vec3},
    {"Vector3MoveTowards", Op, {Vec3, Vec3, Float}, Vec3},
    {"Vector3Lerp", Op, {Vec3, Vec3, Float}, Vec3},
    {"Vector3CubicHermite", Op, {Vec3, Vec3, Vec3, Vec3, Float}, Vec3},
    {"Vector3Reflect", Op, {Vec3, Vec3}, Vec3},
    {"Vector3Min", Op, {Vec3, Vec3}, Vec3},
    {"Vector3Max", Op, {Vec3, Vec3}, Vec3},
    {"Vector3Barycenter", Op, {Vec3, Vec3, Vec3, Vec3}, Vec3},
    {"Vector3Invert", Op, {Vec3}, Vec3},
    {"Vector3Clamp", Op, {Vec3, Vec3, Vec3}, Vec3},
    {"Vector3ClampValue", Op, {Vec3, Float, Float}, Vec3},
    {"Vector3Equals", Op, {Vec3, Vec3}, Bool},
    {"Vector3Refract", Op, {Vec3, Vec3, Float}, Vec3},
    {"MatrixDeterminant", Op, {Mat}, Float},
    {"MatrixTrace", Op, {Mat}, Float},
    {"MatrixTranspose", Op, {Mat}, Mat},
    {"MatrixIdentity", Op, {}, Mat},
    {"MatrixAdd", Op, {Mat, Mat}, Mat},
    {"MatrixSubtract", Op, {Mat, Mat}, Mat},
    {"MatrixMultiply", Op, {Mat, Mat}, Mat},
    {"MatrixTranslate", Op, {Float, Float, Float}, Mat},
    {"MatrixRotate", Op, {Vec3, Float}, Mat},
    {"MatrixRotateXYZ", Op, {Vec3}, Mat},
    {"MatrixScale", Op, {Float, Float, Float}, Mat},
    {"RaycastSingle", Op, {Int, Vec3, Vec3}, Hit},
    };
    return entries;
}

const EntrySpec* FindEntry(const std::string& name) {
    for (const EntrySpec& e : Catalogue())
        if (name == e.name) return &e;
    return nullptr;
}

const std::type_info& TypeOf(Kind kind) {
    switch (kind) {
        case Int: return typeid(int);
        case Float: return typeid(float);
        case Bool: return typeid(bool);
        case Str: return typeid(std::string);
        case Vec2:
        case Vec3:
        case Mat: return typeid(std::vector<float>);
        case Handle: return typeid(std::any*);
        case Children: return typeid(std::unordered_map<std::string, int>);
        case Hit: return typeid(std::vector<std::any>);
        case None: break;
    }
    return typeid(void);
}

const char* KindName(Kind kind) {
    static const char* const names[] = {"none", "int", "float", "bool", "string", "vec2", "vec3", "mat", "handle", "children", "hit"};
    return names[kind];
}

}  // namespace GameTest
