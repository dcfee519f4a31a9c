// Input entries in-process, in a real raylib window under Xvfb: what each entry
// hands back is compared with what raylib itself reports for the same frame,
// with real pointer and key events sent by xdotool.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "Harness.h"
#include "Process.h"
#include "raylib.h"

using namespace Harness;

namespace {

const char* kTitle = "engine input entries";

class InputWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SetTraceLogLevel(LOG_WARNING);
        InitWindow(320, 240, kTitle);
        window = TestSupport::WaitForWindow(kTitle);
    }
    // The window stays to the end of the process: closing it unloads the GL
    // driver, whose few start-up allocations leak checkers then report as leaks.

    void SetUp() override {
        ASSERT_TRUE(IsWindowReady());
        ASSERT_FALSE(window.empty());
        api = &Fresh();
        TestSupport::Shell("xdotool windowfocus --sync " + window + " 2>/dev/null");
    }

    // Runs frames (which poll the events) until `done` holds or about 3 s pass.
    static bool Frames(const std::function<bool()>& done) {
        for (int i = 0; i < 300; ++i) {
            BeginDrawing();
            ClearBackground(BLACK);
            EndDrawing();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    static std::string window;
    Api* api = nullptr;
};
std::string InputWindow::window;

}  // namespace

TEST_F(InputWindow, PointerPositionAsRaylibReportsIt) {
    TestSupport::Shell("xdotool mousemove --window " + window + " 123 77");
    ASSERT_TRUE(Frames([&] { return GetMouseX() == 123 && GetMouseY() == 77; }));
    EXPECT_EQ(std::any_cast<int>(api->Op("GetMouseX")), GetMouseX());
    EXPECT_EQ(std::any_cast<int>(api->Op("GetMouseY")), GetMouseY());
    Vector2 p = GetMousePosition();
    EXPECT_EQ(List(api->Op("GetMousePosition")), (std::vector<float>{p.x, p.y}));
    Vector2 d = GetMouseDelta();
    EXPECT_EQ(List(api->Op("GetMouseDelta")), (std::vector<float>{d.x, d.y}));
    Vector2 w = GetMouseWheelMoveV();
    EXPECT_EQ(List(api->Op("GetMouseWheel")), (std::vector<float>{w.x, w.y}));
    EXPECT_EQ(std::any_cast<bool>(api->Op("IsCursorOnScreen")), IsCursorOnScreen());
}

TEST_F(InputWindow, SetMousePositionAndOffsetTruncateTowardZero) {
    api->Func("SetMousePosition", {L({100.9f, -2.5f, 55})});
    EXPECT_EQ(std::any_cast<int>(api->Op("GetMouseX")), 100);
    EXPECT_EQ(std::any_cast<int>(api->Op("GetMouseY")), -2);
    api->Func("SetMousePosition", {L({40.2f, 30.9f})});
    api->Func("SetMouseOffset", {L({10.7f, -5.9f})});
    EXPECT_EQ(GetMouseX(), 50);
    EXPECT_EQ(GetMouseY(), 25);
    EXPECT_EQ(std::any_cast<int>(api->Op("GetMouseX")), 50);
    api->Func("SetMouseOffset", {L({0, 0})});
}

TEST_F(InputWindow, KeysAndTheKeyQueue) {
    TestSupport::Shell("xdotool keydown a");
    ASSERT_TRUE(Frames([] { return IsKeyDown(KEY_A); }));
    EXPECT_TRUE(std::any_cast<bool>(api->Op("IsKeyDown", {I(KEY_A)})));
    EXPECT_FALSE(std::any_cast<bool>(api->Op("IsKeyDown", {I(KEY_B)})));
    TestSupport::Shell("xdotool keyup a");
    ASSERT_TRUE(Frames([] { return IsKeyReleased(KEY_A); }));
    EXPECT_TRUE(std::any_cast<bool>(api->Op("IsKeyReleased", {I(KEY_A)})));
    EXPECT_FALSE(std::any_cast<bool>(api->Op("IsKeyDown", {I(KEY_A)})));

    // one key press leaves one key code and one character in raylib's queues
    TestSupport::Shell("xdotool key b");
    int key = 0, character = 0;
    ASSERT_TRUE(Frames([&] {
        if (!key) key = std::any_cast<int>(api->Op("GetKeyPressed"));
        if (!character) character = std::any_cast<int>(api->Op("GetCharPressed"));
        return key && character;
    }));
    EXPECT_EQ(key, KEY_B);
    EXPECT_EQ(character, 'b');
    EXPECT_EQ(std::any_cast<int>(api->Op("GetKeyPressed")), 0);

    EXPECT_THROW(std::any_cast<int>(api->Op("IsKeyDown", {I(KEY_A)})), std::bad_any_cast) << "a bool, never an int";
}

TEST_F(InputWindow, MouseButtons) {
    TestSupport::Shell("xdotool mousemove --window " + window + " 100 100 mousedown 1");
    ASSERT_TRUE(Frames([] { return IsMouseButtonDown(MOUSE_BUTTON_LEFT); }));
    EXPECT_TRUE(std::any_cast<bool>(api->Op("IsMouseButtonDown", {I(MOUSE_BUTTON_LEFT)})));
    EXPECT_FALSE(std::any_cast<bool>(api->Op("IsMouseButtonUp", {I(MOUSE_BUTTON_LEFT)})));
    TestSupport::Shell("xdotool mouseup 1");
    ASSERT_TRUE(Frames([] { return IsMouseButtonReleased(MOUSE_BUTTON_LEFT); }));
    EXPECT_TRUE(std::any_cast<bool>(api->Op("IsMouseButtonReleased", {I(MOUSE_BUTTON_LEFT)})));
    EXPECT_TRUE(std::any_cast<bool>(api->Op("IsMouseButtonUp", {I(MOUSE_BUTTON_LEFT)})));
}

TEST_F(InputWindow, CursorVisibilityAndTheExitKey) {
    api->Func("HideCursor");
    EXPECT_TRUE(std::any_cast<bool>(api->Op("IsCursorHidden")));
    EXPECT_TRUE(IsCursorHidden());
    api->Func("ShowCursor");
    EXPECT_FALSE(std::any_cast<bool>(api->Op("IsCursorHidden")));
    api->Func("DisableCursor");
    EXPECT_TRUE(IsCursorHidden());
    api->Func("EnableCursor");
    EXPECT_FALSE(IsCursorHidden());
    api->Func("SetMouseCursor", {I(MOUSE_CURSOR_CROSSHAIR)});

    api->Func("SetExitKey", {I(KEY_Q)});
    TestSupport::Shell("xdotool key q");
    EXPECT_TRUE(Frames([] { return WindowShouldClose(); }));
}
