// The game's entry points: start-up once, then one player frame per tick;
// reload when a rebuilt game.dll takes over a running game.
#include <vantor/Game.h>

#include "Hud.h"
#include "Player.h"

VANTOR_EXPORT void init() {
    Game::LoadModel("base", "base.fbx", 256);

    Game::Model base("base");
    base.SetName("base");
    base.SetScale({1, 1, 1});
    base.MoveTo({0, 0, 0});
    base.SetColor(-1);  // 0xFFFFFFFF, opaque white: the level keeps its own colours

    player::init();

    // Dusk: a deep blue sky over an orange horizon lighting the level from above,
    // a little haze that gathers low, and contact shadows in the corners.
    Game::SetSkyColors(0x26305AFF, static_cast<int>(0xC0785AFFu), 0x1C1A1EFF);
    Game::SetSkyLight(0.45f);
    Game::SetFog(0x4A4452FF, 0.02f, 0.15f);
    Game::SetAmbientOcclusion(0.6f, 1.0f);

    // A machine humming by a pillar ahead on the right: heard from 25 units
    // away, louder as the walker comes near.
    Game::LoadSound("hum", "hum.wav");
    Game::Sound hum("hum");
    hum.SetName("hum");
    hum.SetPosition({10, 0.5f, 14.4f});
    hum.SetRange(2, 25);
    hum.SetLooping(true);
    hum.Play();
}

VANTOR_EXPORT void tick() {
    player::tick();
    hud::Draw();
}

// A rebuilt game.dll bound while the game runs: the level, the player, the
// flashlight and the hum are still in the scene (and the sounds loaded), and
// tick() finds them by name.
VANTOR_EXPORT void reload() {}
