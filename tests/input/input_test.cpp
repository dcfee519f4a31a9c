// The engine as a player meets it, under Xvfb: a slow game (about 15 frames a
// second) sees a key or button tapped within one frame exactly once as pressed
// and once as released, reads typed text in order whatever the keymap, names
// its own window, hides the frame-rate counter, answers every gamepad entry
// without a gamepad, and does not count its loading as a frame. A model left
// at scale 0 is reported once, and a body on one names the scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sstream>

#include "BoxFile.h"
#include "Process.h"
#include "Screenshot.h"

using namespace TestSupport;

namespace {

struct Install {
    EngineInstall files{VANTOR_ENGINE, VANTOR_INPUT_GAME};
    Install() { EXPECT_EQ(TestFiles::WriteBox(files.assets + "/box.obj", 0.5f), ""); }
    RunOptions Options(const std::string& mode = "") const {
        RunOptions options;
        options.cwd = files.bin;
        options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_INPUT_GAME=" + mode};
        options.timeoutMs = 90000;
        return options;
    }
};

// The X server's keyboard layout while it lives; the US layout again after.
struct KeyboardLayout {
    explicit KeyboardLayout(const std::string& layout) { Shell("setxkbmap " + layout); }
    ~KeyboardLayout() { Shell("setxkbmap us"); }
};

int Count(const std::string& text, const std::string& line) {
    int n = 0;
    for (const std::string& l : Lines(text)) n += l == line;
    return n;
}

// Pixels of the frame-rate counter in the corner it is drawn in: strongly
// coloured (raylib draws it green, orange or red by the rate) over the grey sky.
int CounterPixels(const Screenshot& shot) {
    int n = 0;
    for (int y = 8; y < 32; ++y)
        for (int x = 8; x < 110; ++x) {
            const Rgb p = shot.At(x, y);
            n += std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b}) > 100;
        }
    return n;
}

}  // namespace

TEST(EngineInput, TapsWithinOneSlowFrameTypedTextTheWindowAndNoGamepad) {
    Install install;
    Process engine(install.files.bin + "/engine", {}, install.Options());
    const std::string window = WaitForWindow("Vantor input test", 30000);
    ASSERT_FALSE(window.empty()) << "the game's title is the window's\n" << engine.Wait().err;
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null");
    ASSERT_TRUE(engine.WaitForStderr("ready\n", 30000)) << engine.Stderr();
    EXPECT_GT(CounterPixels(GrabWindow(window)), 20) << "the counter shows by default";

    // Down and up sent together land in one poll of a 66 ms frame.
    Shell("xdotool keydown r keyup r");
    EXPECT_TRUE(engine.WaitForStderr("released key 82\n", 20000)) << engine.Stderr();
    Shell("xdotool mousemove --window " + window + " 300 300 mousedown 1 mouseup 1");
    EXPECT_TRUE(engine.WaitForStderr("released button 0\n", 20000)) << engine.Stderr();
    // Typed on the keyboards that have them: é on a French one, ж on a Russian
    // one (each seen before the next layout, since the game reads it a frame later).
    {
        KeyboardLayout french("fr");
        Shell("xdotool type 'é'");
        EXPECT_TRUE(engine.WaitForStderr("char 233\n", 20000)) << engine.Stderr();
        KeyboardLayout russian("ru");
        Shell("xdotool type 'ж'");
        EXPECT_TRUE(engine.WaitForStderr("char 1078\n", 20000)) << engine.Stderr();
    }
    Shell("xdotool key f");
    ASSERT_TRUE(engine.WaitForStderr("fps hidden\n", 20000)) << engine.Stderr();
    // Two frames drawn after the one that hid it.
    std::size_t seen = engine.Stderr().find("fps hidden\n");
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(engine.WaitForStderr("frame ", 20000, seen)) << engine.Stderr();
        seen = engine.Stderr().find("frame ", seen) + 1;
    }
    EXPECT_EQ(CounterPixels(GrabWindow(window)), 0) << "the counter is hidden";
    // The model left at scale 0 is reported a second after it was made.
    EXPECT_TRUE(engine.WaitForStderr("still at scale (0, 0, 0)", 20000)) << engine.Stderr();
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool key Escape");
    const RunResult r = engine.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.err;

    EXPECT_EQ(Count(r.err, "pressed key 82"), 1) << r.err;
    EXPECT_EQ(Count(r.err, "released key 82"), 1) << r.err;
    EXPECT_EQ(Count(r.err, "pressed button 0"), 1) << r.err;
    EXPECT_EQ(Count(r.err, "released button 0"), 1) << r.err;
    EXPECT_EQ(Count(r.err, "pressed button 1") + Count(r.err, "released button 1"), 0);
    std::vector<int> chars;
    for (const std::string& line : Lines(r.err)) {
        int c = 0;
        if (std::sscanf(line.c_str(), "char %d", &c) == 1) chars.push_back(c);
    }
    EXPECT_EQ(chars, (std::vector<int>{'r', 0xE9, 0x436, 'f'})) << "r, é, ж, then the f that hid the counter";

    // The second of loading in init is no frame's time.
    for (int n = 1; n <= 3; ++n) {
        const std::vector<float> dt = LastNumbers(r.err, "dt " + std::to_string(n));
        ASSERT_EQ(dt.size(), 1u) << r.err;
        EXPECT_LT(dt[0], 0.5f) << "frame " << n;
    }
    // No gamepad: every entry answers, for any pad number, and nothing warns.
    for (const char* pad : {"0", "-1", "99"})
        EXPECT_EQ(Count(r.err, std::string("gamepad ") + pad + ": 0 \"\" 0 0 0 0 0 0 0 0 0 0 0"), 1) << r.err;
    // One warning for the two models left at scale 0, naming the first.
    int warnings = 0;
    for (const std::string& line : Lines(r.err)) {
        if (line.rfind("WARNING: SCENE:", 0) != 0) continue;
        ++warnings;
        EXPECT_NE(line.find("model instance"), std::string::npos) << line;
        EXPECT_NE(line.find("\"forgotten\", of the model \"box\""), std::string::npos) << line;
        EXPECT_NE(line.find("\"SetZeroScaleWarning\""), std::string::npos) << line;
    }
    EXPECT_EQ(warnings, 1) << r.err;
}

TEST(EngineInput, ABodyOnAModelAtScaleZeroNamesTheScale) {
    Install install;
    Process engine(install.files.bin + "/engine", {}, install.Options("body"));
    const RunResult r = engine.Wait();
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("Model.SetBody: the body of instance"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("its scale is (0, 0, 0)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("give it \"Model.SetScale\""), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("no triangle"), std::string::npos) << r.err;
}
