// The shipped game with scripted input, for tests against the real host.
//
// The game's own init and tick are compiled in under other names; the exports
// below wrap them. After the host has registered its entries, init replaces
// the entries for keys, mouse movement and frame time through define_op (a
// later definition replaces the earlier one), and wraps the camera entries to
// record what the game sets. Each tick then writes one line on stderr:
//
//   state <tick> pos X Y Z look X Y Z cam X Y Z camlook X Y Z light X Y Z lightdir X Y Z dt SECONDS
//
// with the player's transform after the tick, what the game gave the camera
// during the tick, and the flashlight as the host reports it.
//
// The script comes from the environment variable VANTOR_PLAY_SCRIPT, commands
// separated by ';' (ticks count from 1):
//   dt SECONDS                 frame time the game is told (default 1/60)
//   longframe TICK SECONDS     frame time the game is told on that tick only
//   realtime                   the game gets the host's real frame times instead
//   realmouse                  the game gets the host's real mouse movement (written as "mouse TICK DX DY")
//   frames N                   end the run after tick N (exit status 0)
//   hold KEY FROM TO           key held during ticks FROM..TO (KEY: W A S D Space or a raylib code)
//   mouse TICK DX DY           mouse movement reported on that tick
//   place TICK X Y Z           the player is put there just before that tick
#include "Player.h"

// The renaming also reaches Main.cpp's calls of player::init and player::tick;
// these send them back where they belong.
namespace player {
void vantor_game_init();
void vantor_game_tick();
}  // namespace player

#define init vantor_game_init
#define tick vantor_game_tick
#include "Main.cpp"
#undef init
#undef tick

namespace player {
void vantor_game_init() { init(); }
void vantor_game_tick() { tick(); }
}  // namespace player

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <unistd.h>

#include <vantor/Call.h>

namespace {

struct Hold {
    int key, from, to;
};

struct Script {
    float dt = 1.0f / 60.0f;
    bool realTime = false;
    bool realMouse = false;
    int frames = 600;
    std::vector<Hold> holds;
    std::map<int, Game::List> mouse;
    std::map<int, Game::List> places;
    std::map<int, float> longFrames;
};

Script script;
int tickNumber = 0;
Game::List cameraPosition{0, 0, 0}, cameraLook{0, 0, 0};
float frameTime = 0;  // what the game was told this tick

int KeyCode(const std::string& name) {
    static const std::map<std::string, int> names = {{"W", 87}, {"S", 83}, {"A", 65}, {"D", 68}, {"Space", 32}};
    auto found = names.find(name);
    return found != names.end() ? found->second : std::atoi(name.c_str());
}

Script Parse(const char* text) {
    Script s;
    std::string all = text ? text : "";
    std::stringstream commands(all);
    std::string command;
    while (std::getline(commands, command, ';')) {
        std::istringstream in(command);
        std::string word;
        if (!(in >> word)) continue;
        if (word == "dt") {
            in >> s.dt;
        } else if (word == "longframe") {
            int at;
            in >> at;
            in >> s.longFrames[at];
        } else if (word == "realmouse") {
            s.realMouse = true;
        } else if (word == "realtime") {
            s.realTime = true;
        } else if (word == "frames") {
            in >> s.frames;
        } else if (word == "hold") {
            std::string key;
            Hold h{};
            in >> key >> h.from >> h.to;
            h.key = KeyCode(key);
            s.holds.push_back(h);
        } else if (word == "mouse") {
            int at;
            float dx, dy;
            in >> at >> dx >> dy;
            s.mouse[at] = {dx, dy};
        } else if (word == "place") {
            int at;
            float x, y, z;
            in >> at >> x >> y >> z;
            s.places[at] = {x, y, z};
        } else {
            std::fprintf(stderr, "script: unknown command \"%s\"\n", word.c_str());
            std::_Exit(3);
        }
    }
    return s;
}

bool Held(int key) {
    for (const Hold& h : script.holds)
        if (h.key == key && tickNumber >= h.from && tickNumber <= h.to) return true;
    return false;
}

// Passes the call on to the host's own entry after noting its argument.
void Record(const char* name, Game::List* into) {
    game_func host = bridge_funcs[name];
    define_func(name, [host, into](std::vector<std::any> params) {
        *into = std::any_cast<Game::List>(params.at(0));
        host(std::move(params));
    });
}

void Print(const char* label, const Game::List& v) { std::fprintf(stderr, " %s %.7g %.7g %.7g", label, v[0], v[1], v[2]); }

}  // namespace

VANTOR_EXPORT void init() {
    script = Parse(std::getenv("VANTOR_PLAY_SCRIPT"));
    define_op("IsKeyDown", [](std::vector<std::any> params) { return std::any(Held(std::any_cast<int>(params.at(0)))); });
    game_op hostMouse = bridge_ops["GetMouseDelta"];
    define_op("GetMouseDelta", [hostMouse](std::vector<std::any> params) {
        if (script.realMouse) {
            std::any delta = hostMouse(std::move(params));
            Game::List d = std::any_cast<Game::List>(delta);
            std::fprintf(stderr, "mouse %d %g %g\n", tickNumber, d[0], d[1]);
            return delta;
        }
        auto found = script.mouse.find(tickNumber);
        return std::any(found != script.mouse.end() ? found->second : Game::List{0, 0});
    });
    game_op hostFrameTime = bridge_ops["DeltaTime"];
    define_op("DeltaTime", [hostFrameTime](std::vector<std::any> params) {
        auto longFrame = script.longFrames.find(tickNumber);
        if (script.realTime)
            frameTime = std::any_cast<float>(hostFrameTime(std::move(params)));
        else
            frameTime = longFrame != script.longFrames.end() ? longFrame->second : script.dt;
        return std::any(frameTime);
    });
    Record("SetCameraPosition", &cameraPosition);
    Record("SetCameraLookDirection", &cameraLook);
    vantor_game_init();
}

VANTOR_EXPORT void tick() {
    ++tickNumber;
    Game::CFrame player = Game::Root.GetChild<Game::CFrame>("player");
    auto place = script.places.find(tickNumber);
    if (place != script.places.end()) player.MoveTo(place->second);

    vantor_game_tick();

    int light = Game::Root.GetChild<Game::Light>("flashlight").Id;
    std::fprintf(stderr, "state %d", tickNumber);
    Print("pos", player.Position());
    Print("look", player.LookVector());
    Print("cam", cameraPosition);
    Print("camlook", cameraLook);
    Print("light", Game::Bridge::Call<Game::List>("Light.GetPosition", light));
    Print("lightdir", Game::Bridge::Call<Game::List>("Light.GetDirection", light));
    std::fprintf(stderr, " dt %.7g\n", frameTime);
    if (tickNumber >= script.frames) {
        std::fprintf(stderr, "script done\n");
        std::fflush(stderr);
        std::_Exit(0);  // the run is over; the test has what it needs
    }
}
