// A game for the frame benchmark: 2,000 unit boxes over the sample level under a
// shadowed light, seen from above the pile. VANTOR_PILE=pile gives each a dynamic
// body (the level a mesh body) and lets them fall and pile up; VANTOR_PILE=still
// draws the same boxes where they start, with no physics at all, nudging one of
// them each frame so that the shadow map is drawn again every frame in both (the
// renderer keeps a map whose casters did not move).
#include <vantor/Game.h>

#include <cstdlib>
#include <cstring>

namespace {
bool pile = false;
int frames = 0;
Game::Model first(0);
}  // namespace

VANTOR_EXPORT void init() {
    const char* mode = std::getenv("VANTOR_PILE");
    pile = mode && std::strcmp(mode, "pile") == 0;
    Game::LoadModel("level", "base.fbx", 1);
    Game::LoadModel("box", "box.obj", 2000);
    Game::Model level("level");
    level.SetScale({1, 1, 1});
    level.SetColor(Game::Rgba(255, 255, 255));
    if (pile) level.SetBody("Static", "Mesh", 0);
    for (int i = 0; i < 2000; ++i) {
        const int layer = i / 100, row = (i / 10) % 10, column = i % 10;
        const float shift = layer % 2 ? 0.4f : 0.0f;
        Game::Model box("box");
        box.SetScale({1, 1, 1});
        box.SetColor(Game::Rgba(200 - layer * 5, 120, 60 + layer * 8));
        box.MoveTo({12.0f + column * 1.5f + shift, 1.0f + layer * 1.5f, -27.0f + row * 1.5f + shift});
        if (pile) box.SetBody("Dynamic", "Box", 1);
        if (i == 0) first = box;
    }
    Game::Light sun("Global");
    sun.SetDirection({0.3f, -1, 0.4f});
    sun.SetEnergy(2.5f);
    sun.EnableShadow();
    sun.SetShadowUpdateMode("Continuous");
    sun.SetState(true);
    Game::SetCameraPosition({0, 18, -35});
    Game::SetCameraLookDirection({0.9f, -0.5f, 0.6f});
}

VANTOR_EXPORT void tick() {
    if (!pile) first.MoveTo({12.0f, 1.0f + (++frames % 2) * 0.001f, -27.0f});
}
