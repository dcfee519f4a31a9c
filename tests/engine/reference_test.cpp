// The API reference in docs/ is what the catalogue generates, and what it says
// each entry reads is what the entry really reads: a value of the documented
// type at every position is accepted, and a value of any other type at any one
// position is refused with std::bad_any_cast.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "Catalog.h"
#include "Harness.h"
#include "Reference.h"

using namespace Harness;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Empty when equal; otherwise the first line that differs, from both sides.
std::string FirstDifference(const std::string& committed, const std::string& generated) {
    std::istringstream a(committed), b(generated);
    std::string la, lb;
    for (int line = 1;; ++line) {
        bool moreA = static_cast<bool>(std::getline(a, la)), moreB = static_cast<bool>(std::getline(b, lb));
        if (!moreA && !moreB) return "";
        if (la != lb || moreA != moreB)
            return "line " + std::to_string(line) + "\n  committed: " + (moreA ? la : "(end)") +
                   "\n  generated: " + (moreB ? lb : "(end)");
    }
}

// A scene with one instance of each type and one model buffer, and a valid
// value of the documented type for argument `position` of `entry`.
struct Scene {
    Api& api = Fresh();
    int cframe, model, light, sound, figure, solid, loose, walker, particles;
    std::any* handle;

    Scene() {
        api.Func("LoadModel", {std::string("crate"), std::string("crate.obj"), 8});
        api.Func("LoadModel", {std::string("walker"), std::string("figure.glb"), 8});
        api.Func("LoadSound", {std::string("beep"), std::string("beep.wav")});
        api.Func("LoadMusicStream", {std::string("tune"), std::string("tune.ogg")});
        api.Func("LoadFont", {std::string("title"), std::string("title.ttf")});
        api.Func("LoadTexture", {std::string("pic"), std::string("pic.png")});
        cframe = api.New("CFrame");
        model = api.New("Model", "crate");
        light = api.New("Light", "Spot");
        sound = api.New("Sound", "beep");
        figure = api.New("Model", "walker");
        handle = api.Get(cframe, "Value");
        // A crate with a body, one sized for one, and a character.
        solid = api.New("Model", "crate");
        loose = api.New("Model", "crate");
        for (int id : {solid, loose}) api.Func("Model.SetScale", {id, std::vector<float>{1, 1, 1}});
        api.Func("Model.SetBody", {solid, std::string("Dynamic"), std::string("Box"), 1.0f});
        walker = std::any_cast<int>(api.Op("Instance.New", {std::string("Character"), 0.3f, 1.8f}));
        particles = std::any_cast<int>(api.Op("Instance.New", {std::string("Particles"), 100}));
    }

    static bool Physics(const std::string& entry) {
        for (const char* name : {"Body", "Velocity", "Apply", "Friction", "Restitution", "Damping", "GravityEnabled",
                                 "Trigger", "CollisionLayer"})
            if (entry.rfind("Model.", 0) == 0 && entry.find(name) != std::string::npos) return true;
        return false;
    }

    static bool Animation(const std::string& entry) {
        return entry.find("Animation") != std::string::npos || entry == "Model.CrossFade" || entry == "Model.GetJointPosition";
    }

    std::any Valid(const std::string& entry, std::size_t position, const std::string& type) const {
        if (type == "int") {
            if (entry == "LoadModel") return 4;
            if (position > 0) return 1;  // a parent id, colour, key or frequency
            if (entry.rfind("Light.", 0) == 0) return light;
            if (entry.rfind("Sound.", 0) == 0) return sound;
            if (entry.rfind("Character.", 0) == 0) return walker;
            if (entry.rfind("Particles.", 0) == 0) return particles;
            if (entry == "Model.SetBody") return loose;
            if (Physics(entry)) return solid;
            if (Animation(entry)) return figure;
            if (entry.rfind("Model.", 0) == 0 || entry == "RaycastSingle") return model;
            return cframe;
        }
        if (type == "float") return entry == "NetSetTimeout" ? 2.0f : 0.5f;
        if (type == "bool") return true;
        if (type == "string") {
            if (entry == "Instance.New") return std::string(position == 0 ? "Light" : "Point");
            if (entry == "Light.SetShadowUpdateMode") return std::string("Interval");
            if (entry == "Particles.SetBlend") return std::string("Additive");
            if (entry == "Model.SetBody") return std::string(position == 1 ? "Dynamic" : "Box");
            if (entry == "LoadModel") return std::string(position == 0 ? "barrel" : "barrel.obj");
            if (entry == "Model.GetJointPosition") return std::string("head");
            if (Animation(entry) && entry.rfind("Model.", 0) == 0) return std::string("walk");
            if (Animation(entry)) return std::string(position == 0 ? "walker" : "idle");
            if (entry == "UnloadModel" || entry == "Model.SetModel") return std::string("crate");
            if (entry == "LoadSound" || entry == "LoadMusicStream") return std::string(position == 0 ? "new" : "x.wav");
            if (entry.find("Sound") != std::string::npos) return std::string("beep");
            if (entry.find("Music") != std::string::npos) return std::string("tune");
            if (entry == "LoadFont" || entry == "LoadTexture") return std::string(position == 0 ? "new" : "x.ttf");
            if (entry == "DrawTextEx" || entry == "MeasureTextEx" || entry == "UnloadFont")
                return std::string(position == 0 ? "title" : "text");
            if (entry.find("Texture") != std::string::npos) return std::string("pic");
            if (entry == "SetSky") return std::string();  // the procedural sky: no panorama loaded here
            return std::string("Value");
        }
        if (type == "vec2") return std::vector<float>{1, 2};
        if (type == "vec3") return std::vector<float>{0, 0, 1};
        if (type == "vec4") return std::vector<float>{0, 0, 8, 8};
        if (type == "mat") return std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        if (type == "handle") return handle;
        ADD_FAILURE() << entry << ": no test value for the type " << type;
        return {};
    }

    void Call(const World::Api::Entry& entry, std::vector<std::any> params) const {
        if (entry.op) api.Op(entry.name, std::move(params));
        else api.Func(entry.name, std::move(params));
    }
};

// Entries that reach the window system, which these in-process tests have not opened.
const std::set<std::string> kNeedWindow = {"SetMousePosition", "SetMouseCursor", "ShowCursor",
                                           "HideCursor",       "EnableCursor",   "DisableCursor",
                                           "NetSend"};  // a session, which the network's tests open

}  // namespace

TEST(ApiReference, CommittedFilesAreWhatTheCatalogueGenerates) {
    // When this fails after a change of the entries: cmake --build build --target api_docs
    EXPECT_EQ(FirstDifference(ReadFile(VANTOR_DOCS_DIR "/api.md"), ApiReference::Markdown()), "")
        << "docs/api.md is out of date";
    EXPECT_EQ(FirstDifference(ReadFile(VANTOR_DOCS_DIR "/api.json"), ApiReference::Json()), "")
        << "docs/api.json is out of date";

    // The committed JSON names the catalogue's entries in its order, each in
    // its group and of its kind, the core's first (how many there are is
    // registration_test's to say).
    const std::string json = ReadFile(VANTOR_DOCS_DIR "/api.json");
    const World::Api::Catalog& catalog = World::Api::Entries();
    std::size_t entries = 0, core = 0;
    for (std::size_t at = 0; (at = json.find("\"group\": \"", at)) != std::string::npos; ++at, ++entries) {
        ASSERT_LT(entries, catalog.size());
        const World::Api::Entry& e = catalog[entries];
        SCOPED_TRACE(e.name);
        const std::string group = json.substr(at + 10, json.find('"', at + 10) - at - 10);
        EXPECT_EQ(group, e.group);
        if (group == "core") {
            EXPECT_EQ(core++, entries) << "a core entry after another group's";
        }
        const std::size_t name = json.find("\"name\": \"", at), kind = json.find("\"kind\": \"", at);
        EXPECT_EQ(json.compare(name + 9, std::strlen(e.name) + 1, std::string(e.name) + "\""), 0);
        EXPECT_EQ(json.compare(kind + 9, 3, "op\"") == 0, e.op != nullptr);
    }
    EXPECT_EQ(entries, catalog.size());
    EXPECT_GT(core, 0u);
}

// Each entry's line in the catalogue says what it does and what every argument
// means, and the source file the reference names for it is the one whose table
// adds it, given from the repository root.
TEST(ApiReference, EveryEntryNamesTheFileThatAddsIt) {
    std::map<std::string, std::string> sources;
    for (const World::Api::Entry& entry : World::Api::Entries()) {
        SCOPED_TRACE(entry.name);
        EXPECT_TRUE(entry.summary && *entry.summary);
        EXPECT_EQ(entry.argNames.size(), entry.args.size());
        const std::string file = ApiReference::SourcePath(entry.file);
        ASSERT_FALSE(file.empty());
        EXPECT_NE(file.front(), '/') << file;
        EXPECT_EQ(file.find('\\'), std::string::npos) << file;
        if (!sources.count(file)) sources[file] = ReadFile(VANTOR_DOCS_DIR "/../" + file);
        EXPECT_NE(sources[file].find("(\"" + std::string(entry.name) + "\","), std::string::npos)
            << file << " does not add the entry";
    }
    EXPECT_GT(sources.size(), 1u);

    // Built from the source folder, from another one, or with Windows' separators.
    EXPECT_EQ(ApiReference::SourcePath("/home/a/engine/vantor/engine/api/MathApi.cpp"), "engine/api/MathApi.cpp");
    EXPECT_EQ(ApiReference::SourcePath("../engine/api/MathApi.cpp"), "engine/api/MathApi.cpp");
    EXPECT_EQ(ApiReference::SourcePath("C:\\src\\engine\\api\\SoundApi.cpp"), "engine/api/SoundApi.cpp");
    EXPECT_EQ(ApiReference::SourcePath("/opt/myengine/api/X.cpp"), "/opt/myengine/api/X.cpp");
}

TEST(ApiReference, EveryEntryReadsTheDocumentedTypeAtEveryPosition) {
    for (const World::Api::Entry& entry : World::Api::Entries()) {
        SCOPED_TRACE(entry.name);
        if (!kNeedWindow.count(entry.name)) {
            Scene scene;
            std::vector<std::any> params;
            for (std::size_t i = 0; i < entry.args.size(); ++i) params.push_back(scene.Valid(entry.name, i, entry.args[i].type));
            EXPECT_NO_THROW(scene.Call(entry, params)) << "documented types refused";
        }
        for (std::size_t wrong = 0; wrong < entry.args.size(); ++wrong) {
            Scene scene;
            std::vector<std::any> params;
            for (std::size_t i = 0; i < entry.args.size(); ++i)
                params.push_back(i == wrong ? std::any(0.5) : scene.Valid(entry.name, i, entry.args[i].type));
            EXPECT_THROW(scene.Call(entry, params), std::bad_any_cast) << "a double at position " << wrong;
        }
    }
}
