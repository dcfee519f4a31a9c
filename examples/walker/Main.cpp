// The game's two entry points: start-up once, then one player frame per tick.
#include <vantor/Game.h>

#include "Player.h"

VANTOR_EXPORT void init() {
    Game::LoadModel("base", "base.fbx", 256);

    Game::Model base("base");
    base.SetName("base");
    base.SetScale({1, 1, 1});
    base.MoveTo({0, 0, 0});
    base.SetColor(-1);  // 0xFFFFFFFF, opaque white: the level keeps its own colours

    player::init();
}

VANTOR_EXPORT void tick() { player::tick(); }
