// Light entries against the stand-in renderer's light state.
#include <gtest/gtest.h>

#include "FakeR3D.h"
#include "Harness.h"
#include "Instance.h"

using namespace Harness;

namespace {

FakeR3D::Light& State(int instance) { return FakeR3D::Get().lights[std::any_cast<int>(Instances[instance].Variables["Value"])]; }

}  // namespace

TEST(Lights, KindsAndTheirWords) {
    Api& api = Fresh();
    const char* words[] = {"Global", "Spot", "Point"};
    for (int type = 0; type < 3; ++type) {
        int light = api.New("Light", words[type]);
        EXPECT_EQ(State(light).type, type);
        EXPECT_EQ(std::any_cast<std::string>(api.Op("Light.GetType", {light})), words[type]);
    }
    int odd = api.New("Light", "Spot");
    State(odd).type = static_cast<R3D_LightType>(3);  // outside the table, inside the enum's range of values
    EXPECT_EQ(std::any_cast<std::string>(api.Op("Light.GetType", {odd})), "null");
}

TEST(Lights, StateAndToggle) {
    Api& api = Fresh();
    int light = api.New("Light", "Spot");
    api.Func("Light.SetState", {light, false});
    api.Func("Light.Toggle", {light});
    EXPECT_TRUE(std::any_cast<bool>(api.Op("Light.IsActive", {light})));
    api.Func("Light.SetState", {light, false});
    EXPECT_FALSE(State(light).active);
}

TEST(Lights, ValuesPassThroughUnchanged) {
    Api& api = Fresh();
    int light = api.New("Light", "Spot");
    api.Func("Light.SetColor", {light, -1});
    Color c = State(light).color;
    EXPECT_EQ(c.r + c.g + c.b + c.a, 4 * 255);
    State(light).color = {255, 128, 0, 255};
    EXPECT_EQ(static_cast<unsigned>(std::any_cast<int>(api.Op("Light.GetColor", {light}))), 0xFF8000FFu);

    api.Func("Light.SetPosition", {light, L({1, 2, 3, 4})});
    EXPECT_EQ(List(api.Op("Light.GetPosition", {light})), (std::vector<float>{1, 2, 3}));
    api.Func("Light.SetDirection", {light, L({0, 0, -1})});
    EXPECT_EQ(List(api.Op("Light.GetDirection", {light})), (std::vector<float>{0, 0, -1}));

    struct Scalar {
        const char* set;
        const char* get;
        float FakeR3D::Light::*field;
    } scalars[] = {
        {"Light.SetEnergy", "Light.GetEnergy", &FakeR3D::Light::energy},
        {"Light.SetSpecular", "Light.GetSpecular", &FakeR3D::Light::specular},
        {"Light.SetRange", "Light.GetRange", &FakeR3D::Light::range},
        {"Light.SetAttenuation", "Light.GetAttenuation", &FakeR3D::Light::attenuation},
        {"Light.SetInnerCutoff", "Light.GetInnerCutoff", &FakeR3D::Light::inner},
        {"Light.SetOuterCutoff", "Light.GetOuterCutoff", &FakeR3D::Light::outer},
        {"Light.SetSoftness", "Light.GetSoftness", &FakeR3D::Light::softness},
        {"Light.SetDepthBias", "Light.GetDepthBias", &FakeR3D::Light::depthBias},
        {"Light.SetSlopeBias", "Light.GetSlopeBias", &FakeR3D::Light::slopeBias},
    };
    float value = 0.25f;
    for (const Scalar& s : scalars) {
        SCOPED_TRACE(s.set);
        value += 1.5f;
        api.Func(s.set, {light, value});
        EXPECT_EQ(State(light).*s.field, value);
        EXPECT_EQ(std::any_cast<float>(api.Op(s.get, {light})), value);
        EXPECT_THROW(api.Func(s.set, {light, 2.0}), std::bad_any_cast);  // a double
    }
}

TEST(Lights, Shadows) {
    Api& api = Fresh();
    int light = api.New("Light", "Point");
    api.Func("Light.EnableShadow", {light});
    EXPECT_TRUE(std::any_cast<bool>(api.Op("Light.IsShadowEnabled", {light})));
    api.Func("Light.DisableShadow", {light});
    EXPECT_FALSE(State(light).shadow);
    for (const char* mode : {"Manual", "Interval", "Continuous"}) {
        api.Func("Light.SetShadowUpdateMode", {light, S(mode)});
        EXPECT_EQ(std::any_cast<std::string>(api.Op("Light.GetShadowUpdateMode", {light})), mode);
    }
    State(light).mode = 9;
    EXPECT_EQ(std::any_cast<std::string>(api.Op("Light.GetShadowUpdateMode", {light})), "null");
    api.Func("Light.SetShadowUpdateFrequency", {light, 250});
    EXPECT_EQ(std::any_cast<int>(api.Op("Light.GetShadowUpdateFrequency", {light})), 250);
    api.Func("Light.UpdateShadow", {light});
    EXPECT_EQ(State(light).updates, 1);
}

TEST(Lights, EntriesOnOtherKindsThrowBeforeReachingTheRenderer) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(1)});
    int model = api.New("Model", "crate");
    int cf = api.New("CFrame");
    for (int id : {model, cf, 999}) {
        EXPECT_THROW(api.Op("Light.GetEnergy", {id}), std::bad_any_cast);
        EXPECT_THROW(api.Func("Light.Toggle", {id}), std::bad_any_cast);
        EXPECT_THROW(api.Func("Light.SetState", {id, true}), std::bad_any_cast);
    }
    EXPECT_TRUE(FakeR3D::Get().lights.empty());
    try {
        api.Op("Light.GetRange", {cf});
        FAIL();
    } catch (const std::bad_any_cast& e) {
        EXPECT_EQ(std::string(e.what()), "Light.GetRange: instance " + std::to_string(cf) + " is a CFrame, not a Light");
    }
}

TEST(Lights, DestroyingTheInstanceDestroysTheLight) {
    Api& api = Fresh();
    int light = api.New("Light", "Global");
    FakeR3D::Light& state = State(light);
    api.Func("Instance.Destroy", {light});
    EXPECT_TRUE(state.destroyed);
}
