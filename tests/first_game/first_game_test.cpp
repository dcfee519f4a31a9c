// The tutorial's game (examples/first_game), as the tutorial leaves it, played
// through the X server with the suite's sound server listening: walking ahead
// rings the chimes one by one (heard), ringing all eight wins (drawn), and R
// builds the level again from ClearScene, as it was at the start.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "Process.h"
#include "Screenshot.h"
#include "SoundTest.h"

using namespace TestSupport;

namespace {

// Amplitude of `hz` in the left channel over `frames` frames from `from` (Goertzel).
double Amplitude(const std::vector<float>& stereo, std::size_t from, std::size_t frames, double hz) {
    const double coeff = 2 * std::cos(2 * M_PI * hz / 48000);
    double s1 = 0, s2 = 0;
    for (std::size_t i = from; i < from + frames; ++i) {
        const double s0 = stereo[2 * i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return 2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - coeff * s1 * s2)) / static_cast<double>(frames);
}

// Yellow pixels of the win text across the middle of the window.
int WinTextPixels(const Screenshot& shot) {
    int n = 0;
    for (int y = 300; y < 400; ++y)
        for (int x = 200; x < 1080; ++x) {
            const Rgb p = shot.At(x, y);
            n += p.r > 200 && p.g > 170 && p.b < 130;
        }
    return n;
}

std::vector<std::string> Matching(const std::string& text, const std::string& start) {
    std::vector<std::string> out;
    for (const std::string& line : Lines(text))
        if (line.rfind(start, 0) == 0) out.push_back(line);
    return out;
}

}  // namespace

TEST(FirstGame, RingsAChimeIsWonAndStartsAgainAsItBegan) {
    TempDir game;
    CopyFolder(VANTOR_FIRST_GAME_DIR, game.Path());
    const std::string server = SoundTest::ServerAddress();
    SoundTest::Recorder recorder(server);
    RunOptions options;
    options.cwd = game.Path();
    options.env = {"VANTOR_NO_DIALOG=1", "PULSE_SERVER=" + server};
    options.timeoutMs = 150000;
    Process engine(game / "engine", {}, options);
    const std::string window = WaitForWindow("Chimes", 30000);
    ASSERT_FALSE(window.empty()) << engine.Wait().err;
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null");
    ASSERT_TRUE(engine.WaitForStderr("level built: ", 30000)) << engine.Stderr();

    // The chimes lie in a row straight ahead: walking forward rings them all.
    const std::string focus = "xdotool windowfocus --sync " + window + " 2>/dev/null; ";
    Shell(focus + "xdotool keydown w");
    const bool won = engine.WaitForStderr("won\n", 90000);
    Shell("xdotool keyup w");
    ASSERT_TRUE(won) << engine.Stderr();
    // The frame that won draws the win text; it shows once that frame is presented.
    int text = 0;
    for (int i = 0; i < 100 && text <= 2000; ++i) text = WinTextPixels(GrabWindow(window));
    EXPECT_GT(text, 2000) << "the win text is drawn";

    Shell(focus + "xdotool key r");
    ASSERT_TRUE(engine.WaitForStderr("restarted\n", 20000)) << engine.Stderr();
    Shell(focus + "xdotool key Escape");
    const RunResult r = engine.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<float> heard = recorder.Stop();

    EXPECT_EQ(Matching(r.err, "rang ").size(), 8u) << r.err;
    const std::vector<std::string> built = Matching(r.err, "level built: ");
    ASSERT_EQ(built.size(), 2u) << r.err;
    EXPECT_EQ(built[1], built[0]) << "the same instances, the hero where it began";
    EXPECT_EQ(built[0], "level built: 16 instances, hero at (0, 0, 0)");

    // The chime's first partial (880 Hz) rings out over the music, a hum whose
    // partials (55 to 330 Hz), played at 0.3, leave under 0.01 there.
    const std::size_t window20 = 960;
    double loudest = 0;
    for (std::size_t at = 0; at + window20 <= heard.size() / 2; at += window20)
        loudest = std::max(loudest, Amplitude(heard, at, window20, 880));
    EXPECT_GT(loudest, 0.05) << "a chime was heard";
}
