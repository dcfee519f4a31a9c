// A game for the sound tests and the latency benchmark, built with the SDK and
// scripted by the environment variable VANTOR_SOUND_SCRIPT:
//
//   tone      plays "tone.wav" once, 0.3 s in
//   placed    "tone.wav" as a placed sound 45 degrees to the camera's right, 3
//             units away; then 6 units away on the same line; then following a
//             transform 3 units to the left, each once the last has ended. The
//             camera stays at the origin looking down +z, so its right is -x.
//   music     streams "ramp.wav" once (not looping) while every frame takes 250 ms
//   entries   calls every sound entry and checks its answers, for a run without
//             a sound server: "check ok: ..." or "check FAILED: ..." per check
//   latency   plays "click.wav" every half second, twenty times, writing
//             "played <steady clock ns>" as it calls PlaySound
//
// Every mode writes "<mode> done" and ends the run with _Exit(0) once it is over.
#include <vantor/Call.h>
#include <vantor/Game.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using Game::Bridge::Call;

std::string mode;
Clock::time_point start;
int step = 0;  // how far the script has got

double Seconds() { return std::chrono::duration<double>(Clock::now() - start).count(); }
void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

[[noreturn]] void Done() {
    std::fprintf(stderr, "%s done\n", mode.c_str());
    std::fflush(stderr);
    std::_Exit(0);
}

void Check(bool ok, const std::string& what) {
    std::fprintf(stderr, "check %s: %s\n", ok ? "ok" : "FAILED", what.c_str());
}
bool Near(float a, float b, float tolerance) { return std::fabs(a - b) <= tolerance; }

// Whether the script may go on: `playing` has stopped (as the mixer plays it,
// so a device that starts late only delays the script) and a quarter of a
// second of silence has passed since.
bool Over(bool playing) {
    static double quietSince = -1;
    if (playing) quietSince = -1;
    else if (quietSince < 0) quietSince = Seconds();
    return !playing && Seconds() - quietSince > 0.25;
}

// The tone script: played once, over when it has been heard.
void ToneOnce() {
    if (step == 0 && Seconds() > 0.3) {
        Game::PlaySound("tone");
        ++step;
    } else if (step == 1 && Over(Game::IsSoundPlaying("tone"))) {
        Done();
    }
}

// The placed-sound script: three bursts, each after the last has been heard.
void Placed() {
    static Game::Sound tone(0);
    static Game::CFrame left(0);
    if (step == 0) {
        tone = Game::Sound("tone");
        tone.SetRange(1, 100);
        tone.SetPosition({-2.12132f, 0, 2.12132f});
        left = Game::CFrame();
        left.MoveTo({3, 0, 0});
        ++step;
    } else if (step == 1 && Seconds() > 0.3) {
        tone.Play();
        ++step;
    } else if (step == 2 && Over(tone.IsPlaying())) {
        tone.SetPosition({-4.24264f, 0, 4.24264f});
        tone.Play();
        ++step;
    } else if (step == 3 && Over(tone.IsPlaying())) {
        tone.SetParent(left);
        tone.SetPosition({0, 0, 0});
        tone.Play();
        ++step;
    } else if (step == 4 && Over(tone.IsPlaying())) {
        Done();
    }
}

// Every entry of the sound group, without a sound server: answers follow
// play and stop, and sounds end when they would have ended.
void Entries() {
    Game::LoadSound("tone", "tone.wav");  // 0.5 s
    Check(Near(Game::GetSoundLength("tone"), 0.5f, 0.001f), "a sound knows its length");
    Game::PlaySound("tone");
    Check(Game::IsSoundPlaying("tone"), "a sound plays");
    Game::PauseSound("tone");
    Check(!Game::IsSoundPlaying("tone"), "paused, it is not playing");
    Game::ResumeSound("tone");
    Check(Game::IsSoundPlaying("tone"), "resumed, it plays again");
    Game::StopSound("tone");
    Check(!Game::IsSoundPlaying("tone"), "stopped, it does not");
    Game::SetSoundVolume("tone", 0.5f);
    Game::SetSoundPan("tone", -0.5f);
    Game::SetSoundPitch("tone", 2);
    Game::PlaySound("tone");
    Sleep(0.1);
    Check(Game::IsSoundPlaying("tone"), "an octave up, it plays for a quarter of a second");
    Sleep(0.25);
    Check(!Game::IsSoundPlaying("tone"), "and then ends");

    Game::LoadMusicStream("ramp", "ramp.wav");  // 6 s
    Check(Near(Game::GetMusicTimeLength("ramp"), 6, 0.001f), "a music stream knows its length");
    Game::PlayMusicStream("ramp");
    Check(Game::IsMusicStreamPlaying("ramp"), "a music stream plays");
    Sleep(0.3);
    Check(Near(Game::GetMusicTimePlayed("ramp"), 0.3f, 0.1f), "and keeps time");
    Game::PauseMusicStream("ramp");
    const float paused = Game::GetMusicTimePlayed("ramp");
    Sleep(0.2);
    Check(!Game::IsMusicStreamPlaying("ramp") && Game::GetMusicTimePlayed("ramp") == paused, "paused, its time stands");
    Game::SeekMusicStream("ramp", 5.7f);
    Check(Near(Game::GetMusicTimePlayed("ramp"), 5.7f, 0.01f), "it seeks");
    Game::SetMusicLooping("ramp", false);
    Game::SetMusicVolume("ramp", 0.8f);
    Game::SetMusicPitch("ramp", 1);
    Game::SetMusicPan("ramp", 0.25f);
    Game::ResumeMusicStream("ramp");
    Sleep(0.5);
    Check(!Game::IsMusicStreamPlaying("ramp") && Game::GetMusicTimePlayed("ramp") == 0,
          "without looping it ends at its end, back at the start");
    Game::PlayMusicStream("ramp");
    Game::StopMusicStream("ramp");
    Check(!Game::IsMusicStreamPlaying("ramp"), "stopped, it does not play");

    Game::SetMasterVolume(0.5f);
    Check(Game::GetMasterVolume() == 0.5f, "the master volume is what was set");

    Game::SetSoundPitch("tone", 1);
    Game::Sound placed("tone");
    Check(Call<std::string>("Instance.Type", placed.Id) == "Sound", "a placed sound is an instance of the kind Sound");
    placed.SetPosition({1, 2, 3});
    Check(placed.GetPosition() == Game::List{1, 2, 3}, "it keeps its position");
    placed.SetRange(2, 20);
    placed.SetVolume(0.7f);
    placed.SetPitch(1.5f);
    placed.SetLooping(true);
    placed.Play();
    Sleep(0.6);
    Check(placed.IsPlaying(), "looping, it plays past its end");
    placed.Stop();
    Check(!placed.IsPlaying(), "stopped, it does not play");
    placed.Play();
    Call<void>("Instance.Destroy", placed.Id);

    Game::UnloadSound("tone");
    Game::UnloadMusicStream("ramp");
    Game::LoadSound("tone", "tone.wav");  // the name is free again
    Done();
}

}  // namespace

VANTOR_EXPORT void init() {
    const char* script = std::getenv("VANTOR_SOUND_SCRIPT");
    mode = script ? script : "";
    if (mode == "tone" || mode == "placed") Game::LoadSound("tone", "tone.wav");
    if (mode == "latency") Game::LoadSound("click", "click.wav");
    start = Clock::now();
}

VANTOR_EXPORT void tick() {
    const double t = Seconds();
    if (mode == "tone") {
        ToneOnce();
    } else if (mode == "placed") {
        Placed();
    } else if (mode == "music") {
        if (step == 0) {
            Game::LoadMusicStream("ramp", "ramp.wav");
            Game::SetMusicLooping("ramp", false);
            Game::PlayMusicStream("ramp");
            ++step;
        } else if (step == 1 && Over(Game::IsMusicStreamPlaying("ramp"))) {
            Done();
        }
        Sleep(0.25);  // a heavy frame
    } else if (mode == "entries") {
        Entries();
    } else if (mode == "latency") {
        if (t > 0.5 * (step + 1)) {
            if (step == 20) Done();
            std::fprintf(stderr, "played %lld\n",
                         static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                    Clock::now().time_since_epoch())
                                                    .count()));
            Game::PlaySound("click");
            ++step;
        }
    } else {
        std::fprintf(stderr, "sound_game: unknown VANTOR_SOUND_SCRIPT \"%s\"\n", mode.c_str());
        std::_Exit(2);
    }
}
