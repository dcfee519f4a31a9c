// The yard: the sample level with physics. You walk as a capsule character with
// mouse look (WASD, Space jumps): the stairs and the ramp take you up, walls and
// pillars stop you, and a stack of crates waits by the start to be pushed over.
// The yellow pad at the top of the stairs is a trigger: stepping on it throws up
// sparks and (the first time) drops a rain of balls. Left click throws a crate where you look; R starts again.
//
// Played together: `yard --host [PORT]` opens the yard to others (port 7777 unless
// given; after the engine's --headless, a server with no player of its own), and
// `yard --join ADDRESS [--port PORT]` walks into a host's yard; `--name NAME` is
// shown over your head. The host's world is the one everybody plays in: its crates
// and balls are shared, and only its physics moves them. Each player walks their own
// capsule at home and is seen by the others as a figure; on the host an unseen
// kinematic body follows each guest's figure, so that walking into its crates pushes them.
// A guest's click and pad ask the host, which throws and rains for everybody; only
// the host's R puts the shared world back as it began.
//
// VANTOR_YARD_REPORT=1 reports on stderr what the tests watch: the shared crates
// and figures, crates that moved, where the players are and where names are drawn.
#include <vantor/Game.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kKeyW = 87, kKeyS = 83, kKeyA = 65, kKeyD = 68, kKeySpace = 32, kKeyR = 82;
constexpr float kWalk = 4.5f, kJump = 5.0f, kEye = 1.6f, kEyeAhead = 0.25f, kPixelsPerRadian = 400.0f;
// A guest's figure moves in steps, as their frames and the network deliver them; the body
// that pushes for it follows no faster than this, so a step never slams a crate through the floor.
constexpr float kPushSpeed = 8.0f;
constexpr int kDefaultPort = 7777, kMostGuests = 7;
// The crate buffer holds 256, the pad and the guests' pushers among them: past this the oldest crate goes.
constexpr size_t kMostCrates = 240;
constexpr int kWhite = Game::Rgba(255, 255, 255);

enum class Role { Alone, Host, Guest };

// What the command line asks for.
struct Setup {
    Role role = Role::Alone;
    int port = kDefaultPort;
    std::string address;
    std::string name;  // empty: "Player N", N the peer's number
};

// A player as the host announces them: the name, and the figure the others see.
struct Player {
    std::string name;
    int figure = 0;  // its network id
};

// What the host keeps of a guest: the figure the guest moves, and the body that pushes for it.
struct Guest {
    Game::Model figure{0}, pusher{0};
};

Setup setup;
Role role = Role::Alone;
bool playing = true;  // false on a headless host: nobody walks there
bool reporting = false;

Game::Character hero(0);
Game::Model pad(0);
Game::Model figure(0);  // the host's own, as the others see it
Game::Particles sparks(0);
std::vector<Game::Model> crates, balls;  // the world this peer simulates: none while a guest
std::map<int, Guest> guests;             // on the host, by peer
std::map<int, Player> players;            // by peer, as the host last announced them
int hostCrates = 0, hostBalls = 0;        // a guest's count of the host's world
int madeCrates = 0, madeBalls = 0;        // so that every instance's name is its own
std::string lastCounts, notice;
std::map<std::string, Game::List> shownNames;  // where this frame drew each name, for the report
float yaw = 0, pitch = 0;
bool rained = false, welcomed = false;

// A UDP port in plain digits, 1 to 65535; 0 for anything else.
int PortIn(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    const int port = std::atoi(text.c_str());
    return port <= 65535 ? port : 0;
}

Setup ReadCommandLine() {
    Setup s;
    const std::vector<std::string> args = Game::GetArguments();
    for (size_t i = 0; i < args.size(); ++i) {
        const bool more = i + 1 < args.size();
        const int port = more ? PortIn(args[i + 1]) : 0;
        if (args[i] == "--host") {
            s.role = Role::Host;
            if (port) s.port = port, ++i;  // the port is optional
        } else if (args[i] == "--join" && more) {
            s.role = Role::Guest;
            s.address = args[++i];
        } else if (args[i] == "--port" && port) {
            s.port = port, ++i;
        } else if (args[i] == "--name" && more) {
            s.name = args[++i];
        } else {
            std::fprintf(stderr, "yard: \"%s\" is not understood; the yard takes --host [PORT], --join ADDRESS, "
                                 "--port PORT (1 to 65535) and --name NAME\n", args[i].c_str());
        }
    }
    return s;
}

// A name shown over a head and sent in one line: no control characters, and short.
std::string CleanName(const std::string& text) {
    std::string name;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 32 && c != 127) name += c;
    if (name.size() > 24) {
        size_t end = 24;
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;  // not inside a letter
        name.resize(end);
    }
    return name;
}

std::string DefaultName(int peer) { return "Player " + std::to_string(peer); }

bool Connected(int peer) {
    for (int p : Game::NetGetPeers())
        if (p == peer) return true;
    return false;
}

Game::Model Crate(Game::List at) {
    if (crates.size() >= kMostCrates) {
        crates.front().Destroy();
        crates.erase(crates.begin());
    }
    Game::Model crate("crate");
    crate.SetName("crate " + std::to_string(++madeCrates));
    crate.SetScale({0.8f, 0.8f, 0.8f});
    crate.SetColor(Game::Rgba(200, 130, 60));
    crate.MoveTo(at);
    crate.SetBody("Dynamic", "Box", 15);
    crate.SetFriction(0.8f);
    if (role == Role::Host) crate.SetReplicated(true);
    crates.push_back(crate);
    return crate;
}

void BuildStack() {
    // By the start, three high.
    for (int row = 0; row < 3; ++row)
        for (int k = 0; k < 3 - row; ++k) Crate({3.0f + k * 0.85f + row * 0.42f, -0.6f + row * 0.8f, -5});
}

void Throw(const Game::List& from, const Game::List& look) {
    Game::Model crate = Crate(from);
    crate.SetVelocity({look[0] * 12, look[1] * 12 + 2, look[2] * 12});
}

void RainBalls() {
    if (rained) return;
    rained = true;  // once: the balls keep rolling about the yard
    for (int k = 0; k < 40; ++k) {
        Game::Model ball("ball");
        ball.SetName("ball " + std::to_string(++madeBalls));
        ball.SetScale({0.5f, 0.5f, 0.5f});
        ball.SetColor(Game::Rgba(60 + k * 4, 120, 230 - k * 3));
        ball.MoveTo({-6.0f + (k % 8) * 1.5f, 6.0f + k / 8, 2.0f + (k % 5)});
        ball.SetBody("Dynamic", "Sphere", 1);
        ball.SetRestitution(0.6f);
        if (role == Role::Host) ball.SetReplicated(true);
        balls.push_back(ball);
    }
}

// The host's R: the world as it began, for everybody.
void ResetWorld() {
    for (Game::Model& m : crates) m.Destroy();
    for (Game::Model& m : balls) m.Destroy();
    crates.clear();
    balls.clear();
    rained = false;
    BuildStack();
}

// Players start side by side along the start's row (alone and the host where the yard always began).
Game::List SpawnPoint(int peer) { return {-2.0f - 1.5f * static_cast<float>(std::max(0, peer - 1)), -1, -5}; }

void Start() {
    hero.SetPosition(SpawnPoint(Game::NetGetPeerId()));
    yaw = 0, pitch = 0;
}

// A player as the others see them, shared by the host; a tint of its own for each peer.
Game::Model Figure(int peer) {
    static const int tints[] = {Game::Rgba(240, 240, 240), Game::Rgba(120, 200, 255), Game::Rgba(255, 150, 150),
                                Game::Rgba(150, 240, 140), Game::Rgba(250, 220, 110), Game::Rgba(210, 160, 255)};
    Game::Model f("figure");
    f.SetName("figure " + std::to_string(peer));
    f.SetScale({1, 1, 1});
    f.SetColor(tints[peer % 6]);
    f.MoveTo(SpawnPoint(peer));
    f.PlayAnimation("idle", true);
    f.SetReplicated(true);
    return f;
}

// Puts this player's figure where their capsule walks, walking or standing.
void FollowHero(Game::Model f) {
    f.MoveTo(hero.GetPosition());
    f.RotateTo({0, yaw, 0});  // the figure faces +z, turned as the player looks
    const Game::List v = hero.GetVelocity();
    const std::string clip = std::hypot(v[0], v[2]) > 0.5f ? "walk" : "idle";
    if (f.GetAnimation() != clip) f.CrossFade(clip, 0.2f);
}

// -- The host --------------------------------------------------------------------

void AnnouncePlayers() {
    std::string text;
    for (const auto& [peer, p] : players)
        text += std::to_string(peer) + " " + std::to_string(p.figure) + " " + p.name + "\n";
    Game::NetSend(0, "players", text, true);
}

void AnnounceWorld() {
    const std::string counts = std::to_string(crates.size()) + " " + std::to_string(balls.size());
    if (counts == lastCounts) return;
    lastCounts = counts;
    Game::NetSend(0, "world", counts, true);
}

// Where a guest's pusher stands for a figure there: a flat-bottomed body clear of the
// floor, so that it shoves crates aside rather than down.
Game::List PusherAt(const Game::List& foot) { return {foot[0], foot[1] + 1.0f, foot[2]}; }

void Welcome(int peer) {
    if (!Connected(peer)) return;  // gone again before this frame heard it came
    Guest guest;
    guest.figure = Figure(peer);
    guest.figure.SetOwner(peer);
    guest.pusher = Game::Model("crate");
    guest.pusher.SetScale({0.6f, 1.5f, 0.6f});
    guest.pusher.SetColor(0);  // not drawn: the figure is what shows
    guest.pusher.MoveTo(PusherAt(SpawnPoint(peer)));
    guest.pusher.SetBody("Kinematic", "Cylinder", 0);
    guests.insert_or_assign(peer, guest);
    players[peer] = Player{DefaultName(peer), guest.figure.GetNetworkId()};
    std::fprintf(stderr, "yard: peer %d joined\n", peer);
    AnnouncePlayers();
    lastCounts.clear();  // the newcomer needs the counts too
}

void Farewell(int peer) {
    auto it = guests.find(peer);
    if (it == guests.end()) return;
    it->second.figure.Destroy();
    it->second.pusher.Destroy();
    guests.erase(it);
    std::fprintf(stderr, "yard: %s left\n", players[peer].name.c_str());
    players.erase(peer);
    AnnouncePlayers();
}

void HostHears(const Game::NetMessage& m) {
    if (m.channel == "Joined") return Welcome(m.peer);
    if (m.channel == "Left") return Farewell(m.peer);
    if (!guests.count(m.peer)) return;
    if (m.channel == "name") {
        players[m.peer].name = CleanName(m.text);
        if (players[m.peer].name.empty()) players[m.peer].name = DefaultName(m.peer);
        std::fprintf(stderr, "yard: peer %d is %s\n", m.peer, players[m.peer].name.c_str());
        AnnouncePlayers();
    } else if (m.channel == "throw") {
        std::istringstream in(m.text);
        Game::List from(3), look(3);
        in >> from[0] >> from[1] >> from[2] >> look[0] >> look[1] >> look[2];
        bool finite = !in.fail();
        for (int i = 0; i < 3; ++i) finite = finite && std::isfinite(from[i]) && std::fabs(look[i]) <= 1.01f;
        if (finite) Throw(from, look);
    } else if (m.channel == "pad") {
        RainBalls();
    }
}

// Each pusher after its guest's figure, at most kPushSpeed. One far behind (the guest
// started again) is put there without a body, which would sweep the yard on its way.
void FollowGuests() {
    const float most = kPushSpeed * Game::DeltaTime();
    for (auto& [peer, guest] : guests) {
        const Game::List to = PusherAt(guest.figure.Position()), at = guest.pusher.Position();
        const Game::List way{to[0] - at[0], to[1] - at[1], to[2] - at[2]};
        const float length = std::sqrt(way[0] * way[0] + way[1] * way[1] + way[2] * way[2]);
        if (length > 3.0f) {
            guest.pusher.RemoveBody();
            guest.pusher.MoveTo(to);
            guest.pusher.SetBody("Kinematic", "Cylinder", 0);
        } else if (length <= most) {
            guest.pusher.MoveTo(to);
        } else {
            guest.pusher.MoveBy({way[0] / length * most, way[1] / length * most, way[2] / length * most});
        }
    }
}

// -- A guest ---------------------------------------------------------------------

void GuestHears(const Game::NetMessage& m) {
    if (m.channel == "players") {
        players.clear();
        std::istringstream in(m.text);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            int peer = 0;
            Player p;
            if (!(fields >> peer >> p.figure)) continue;
            std::getline(fields >> std::ws, p.name);
            players[peer] = p;
        }
    } else if (m.channel == "world") {
        std::istringstream(m.text) >> hostCrates >> hostBalls;
    }
}

// The yard becomes this player's own: the host went, or never answered.
void PlayAlone(const std::string& why) {
    notice = why;
    std::fprintf(stderr, "yard: %s\n", why.c_str());
    role = Role::Alone;
    players.clear();
    Game::NetDisconnect();
    BuildStack();
}

void KeepInTouch() {
    const std::string state = Game::NetGetState();
    if (state == "Client" && !welcomed) {
        welcomed = true;
        std::fprintf(stderr, "yard: joined %s as peer %d\n", setup.address.c_str(), Game::NetGetPeerId());
        if (!setup.name.empty()) Game::NetSend(1, "name", CleanName(setup.name), true);
        Start();
    } else if (state == "Offline") {
        PlayAlone(welcomed ? "The host left"
                           : "No host answered at " + setup.address + ":" + std::to_string(setup.port));
    }
}

// This player's figure: the host's own, or the copy of the one the host made for this guest.
Game::Model OwnFigure() {
    if (role == Role::Host) return figure;
    auto me = players.find(Game::NetGetPeerId());
    return Game::Model(me == players.end() ? 0 : Game::NetFindModel(me->second.figure));
}

// -- Every frame -------------------------------------------------------------------

// Mouse look and WASD; returns where the player looks.
Game::List Walk() {
    const Game::List mouse = Game::GetMouseDelta();
    yaw -= mouse[0] / kPixelsPerRadian;
    pitch = std::fmax(-1.4f, std::fmin(1.4f, pitch - mouse[1] / kPixelsPerRadian));
    const Game::List look{std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch)};
    const Game::List forward{std::sin(yaw), 0, std::cos(yaw)}, right{-std::cos(yaw), 0, std::sin(yaw)};

    Game::List walk{0, 0, 0};
    auto add = [&](const Game::List& d, float sign) { for (int i = 0; i < 3; ++i) walk[i] += d[i] * sign; };
    if (Game::IsKeyDown(kKeyW)) add(forward, 1);
    if (Game::IsKeyDown(kKeyS)) add(forward, -1);
    if (Game::IsKeyDown(kKeyD)) add(right, 1);
    if (Game::IsKeyDown(kKeyA)) add(right, -1);
    const float length = std::sqrt(walk[0] * walk[0] + walk[2] * walk[2]);
    if (length > 0) walk = {walk[0] / length * kWalk, 0, walk[2] / length * kWalk};
    if (Game::IsKeyDown(kKeySpace)) walk[1] = kJump;
    hero.Move(walk);
    return look;
}

// The other players' names over their heads, where they are in front of the camera.
void DrawNames() {
    shownNames.clear();
    const int self = Game::NetGetPeerId();
    for (const auto& [peer, p] : players) {
        const int id = peer == self ? 0 : Game::NetFindModel(p.figure);
        if (id == 0) continue;
        const Game::List foot = Game::Model(id).Position();
        const Game::List head{foot[0], foot[1] + 2.1f, foot[2]};
        if (!Game::IsInFrontOfCamera(head)) continue;
        const Game::List at = Game::GetWorldToScreen(head);
        Game::DrawTextShadowed(p.name, static_cast<int>(at[0]) - Game::MeasureText(p.name, 20) / 2,
                               static_cast<int>(at[1]), 20, kWhite);
        shownNames[p.name] = at;
    }
}

void DrawHud() {
    const bool guest = role == Role::Guest;
    const std::string line = std::string(hero.IsOnGround() ? "on the ground" : "in the air") + "   crates " +
                             std::to_string(guest ? hostCrates : static_cast<int>(crates.size())) + "   balls " +
                             std::to_string(guest ? hostBalls : static_cast<int>(balls.size()));
    Game::DrawText(line, 20, 44, 24, kWhite);
    Game::DrawText("WASD walk, Space jump, click throws a crate, R restarts", 20, 74, 20, Game::Rgba(255, 255, 255, 180));
    const std::string playingNow = std::to_string(players.size()) + " playing";
    std::string status = notice;
    if (role == Role::Host) status = "Hosting on port " + std::to_string(setup.port) + ": " + playingNow;
    if (guest) status = welcomed ? "In " + setup.address + "'s yard: " + playingNow
                                 : "Joining " + setup.address + ":" + std::to_string(setup.port) + "...";
    if (!status.empty()) Game::DrawTextShadowed(status, 20, 104, 20, Game::Rgba(255, 230, 140));
    DrawNames();
}

float Distance(const Game::List& a, const Game::List& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// What the tests watch, one fact a line, each when it changes: how many shared crates and
// figures this peer holds, each shared crate that moved 0.3 m from where it was first
// seen, the players' names, where players are (every 0.25 m) and where names are drawn
// on the screen (the middle of their top edge, every 2 pixels).
void Report() {
    static std::map<std::string, Game::List> firstSeen, lastReported, lastShown;
    static std::set<std::string> moved;
    static std::string lastShared, lastPlayers = "-";
    auto reportWhere = [](const std::string& who, const Game::List& at) {
        auto last = lastReported.find(who);
        if (last != lastReported.end() && Distance(last->second, at) < 0.25f) return;
        lastReported[who] = at;
        std::fprintf(stderr, "%s %.2f %.2f %.2f\n", who.c_str(), at[0], at[1], at[2]);
    };

    int sharedCrates = 0, sharedFigures = 0;
    for (const auto& [name, id] : Game::Root.GetChildren()) {
        Game::Model m(id);
        if (m.Type() != "Model" || m.GetNetworkId() == 0) continue;
        sharedFigures += name.rfind("figure ", 0) == 0;
        if (name.rfind("crate ", 0) != 0) continue;
        ++sharedCrates;
        const Game::List at = m.Position();
        const Game::List& first = firstSeen.emplace(name, at).first->second;
        if (Distance(first, at) > 0.3f && moved.insert(name).second) std::fprintf(stderr, "moved %s\n", name.c_str());
    }
    const std::string shared =
        "crates " + std::to_string(sharedCrates) + "\nfigures " + std::to_string(sharedFigures) + "\n";
    if (shared != lastShared) std::fprintf(stderr, "%s", (lastShared = shared).c_str());

    std::string names;
    for (const auto& [peer, p] : players) names += (names.empty() ? "" : ", ") + p.name;
    if (names != lastPlayers) std::fprintf(stderr, "players %s\n", (lastPlayers = names).c_str());

    for (auto& [peer, guest] : guests) reportWhere("figure " + std::to_string(peer), guest.figure.Position());
    if (playing) reportWhere("hero", hero.GetPosition());

    for (const auto& [name, at] : shownNames) {
        auto last = lastShown.find(name);
        if (last != lastShown.end() && std::fabs(last->second[0] - at[0]) < 2 && std::fabs(last->second[1] - at[1]) < 2)
            continue;
        lastShown[name] = at;
        std::fprintf(stderr, "name %s %.0f %.0f\n", name.c_str(), at[0], at[1]);
    }
    for (auto it = lastShown.begin(); it != lastShown.end();) {
        if (shownNames.count(it->first)) {
            ++it;
            continue;
        }
        std::fprintf(stderr, "name %s hidden\n", it->first.c_str());
        it = lastShown.erase(it);
    }
}

}  // namespace

VANTOR_EXPORT void init() {
    setup = ReadCommandLine();
    reporting = std::getenv("VANTOR_YARD_REPORT") != nullptr;
    playing = !(setup.role == Role::Host && Game::IsHeadless());

    Game::LoadModel("base", "base.fbx", 1);
    Game::LoadModel("crate", "crate.obj", 256);
    Game::LoadModel("ball", "ball.obj", 64);
    Game::LoadModel("figure", "figure.glb", kMostGuests + 1);
    Game::Model level("base");
    level.SetScale({1, 1, 1});
    level.SetColor(Game::Rgba(255, 255, 255));
    level.SetBody("Static", "Mesh", 0);  // the level's own triangles: stairs, ramp, walls and all

    if (setup.role == Role::Host) {
        if (Game::NetHost(setup.port, kMostGuests)) {
            role = Role::Host;
            std::fprintf(stderr, "yard: hosting on port %d\n", setup.port);
        } else {
            notice = "Port " + std::to_string(setup.port) + " is taken: playing alone";
            std::fprintf(stderr, "yard: %s\n", notice.c_str());
        }
    } else if (setup.role == Role::Guest) {
        if (Game::NetConnect(setup.address, setup.port)) {
            role = Role::Guest;
        } else {
            notice = "No host at " + setup.address + ": playing alone";
            std::fprintf(stderr, "yard: %s\n", notice.c_str());
        }
    }
    // A guest's crates come from the host.
    if (role != Role::Guest) BuildStack();

    // On the landing at the top of the stairs: each peer has its own, for its own player.
    pad = Game::Model("crate");
    pad.SetScale({2.4f, 0.4f, 2.4f});
    pad.SetColor(Game::Rgba(250, 220, 60, 120));
    pad.MoveTo({-2, 1.0f, 5.5f});
    pad.SetBody("Static", "Box", 0);
    pad.SetTrigger(true);

    // Sparks from the pad's middle, thrown up and falling back: a burst each time it is stepped on.
    sparks = Game::Particles::Create(400);
    sparks.SetParent(pad);
    sparks.SetPosition({0, 0.3f, 0});
    sparks.SetLifetime(0.5f, 1.1f);
    sparks.SetVelocity({0, 4.5f, 0}, 55);
    sparks.SetGravity({0, -9.8f, 0});
    sparks.SetColors(Game::Rgba(255, 230, 120), Game::Rgba(255, 90, 20, 0));
    sparks.SetSizes(0.09f, 0.02f);
    sparks.SetBlend("Additive");

    Game::SetSkyColors(Game::Rgba(70, 115, 185), Game::Rgba(190, 205, 220), Game::Rgba(70, 66, 60));
    Game::SetSkyLight(0.3f);
    Game::SetExposure(0.8f);  // the sun and the sky together: a little less, so the pale floor keeps its shading
    Game::SetAmbientOcclusion(0.5f, 1.0f);

    Game::Light sun("Global");
    sun.SetDirection({0.35f, -1, 0.5f});
    sun.SetEnergy(2.5f);
    sun.EnableShadow();
    sun.SetState(true);

    if (Game::IsHeadless()) {
        if (!playing) return;
    } else if (setup.role != Role::Alone) {
        Game::SetWindowTitle(setup.name.empty() ? "Yard" : "Yard - " + setup.name);  // windows told apart
    }
    hero = Game::Character(0.3f, 1.8f);
    Start();
    if (role == Role::Host) {
        figure = Figure(1);
        players[1] = Player{setup.name.empty() ? DefaultName(1) : CleanName(setup.name), figure.GetNetworkId()};
    }
    if (!Game::IsHeadless()) Game::DisableCursor();
}

VANTOR_EXPORT void tick() {
    for (const Game::NetMessage& m : Game::NetReceive()) {
        if (role == Role::Host) HostHears(m);
        if (role == Role::Guest) GuestHears(m);
    }
    if (role == Role::Guest) KeepInTouch();

    if (playing) {
        const Game::List look = Walk();
        if (Game::IsKeyPressed(kKeyR)) {
            Start();
            if (role == Role::Host) ResetWorld();
        }
        if (hero.GetPosition()[1] < -20) Start();

        if (Game::IsMouseButtonPressed(0)) {
            const Game::List foot = hero.GetPosition();
            const Game::List from{foot[0] + look[0], foot[1] + kEye + look[1], foot[2] + look[2]};
            if (role != Role::Guest) Throw(from, look);
            else if (welcomed) {
                char text[128];
                std::snprintf(text, sizeof text, "%.3f %.3f %.3f %.4f %.4f %.4f", from[0], from[1], from[2], look[0],
                              look[1], look[2]);
                Game::NetSend(1, "throw", text, true);
            }
        }

        for (const Game::PhysicsEvent& e : Game::GetPhysicsEvents()) {
            if (e.kind != "Enter" || e.a != pad.Id || e.b != hero.Id) continue;
            sparks.Burst(150);
            if (role != Role::Guest) RainBalls();
            else if (welcomed) Game::NetSend(1, "pad", "", true);
        }

        const Game::Model own = OwnFigure();
        if (own.Id != 0) FollowHero(own);

        // With a figure of one's own the eye is just in front of its face, not inside its head.
        const float ahead = own.Id != 0 ? kEyeAhead : 0;
        const Game::List foot = hero.GetPosition();
        Game::SetCameraPosition({foot[0] + std::sin(yaw) * ahead, foot[1] + kEye, foot[2] + std::cos(yaw) * ahead});
        Game::SetCameraLookDirection(look);
        if (!Game::IsHeadless()) DrawHud();
    }
    if (role == Role::Host) {
        FollowGuests();
        AnnounceWorld();
    }
    if (reporting) Report();
}
