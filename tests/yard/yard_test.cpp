// The yard played together, as players would, by real engines on loopback: a
// headless host, Ada in a window walked with the keyboard, and Bob, headless, who
// comes and goes. Ada holds the host's crates; her walking moves her figure on the
// host, where it pushes the crate she walks into, and she sees that crate move;
// Bob's name shows over his figure on her screen, and his figure goes when he
// leaves; when the host goes, Ada plays on alone.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Process.h"
#include "Screenshot.h"

using namespace TestSupport;

namespace {

int FreeUdpPort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) close(fd);
    return port;
}

// The built yard copied into a folder of its own, each player run from there.
struct Yard {
    TempDir folder;
    Yard() { CopyFolder(VANTOR_YARD_DIR, folder.Path()); }

    std::unique_ptr<Process> Start(const std::vector<std::string>& args) const {
        RunOptions options;
        options.cwd = folder.Path();
        options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_YARD_REPORT=1"};
        options.timeoutMs = 280000;
        return std::make_unique<Process>(folder / "engine", args, options);
    }
};

std::vector<float> Numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<float> out;
    for (float v; in >> v;) out.push_back(v);
    return out;
}

// Waits for a line "label <numbers>" past `from` whose numbers pass `wanted`; those numbers, or none.
std::vector<float> WaitForNumbers(Process& p, const std::string& label,
                                  const std::function<bool(const std::vector<float>&)>& wanted, int timeoutMs,
                                  std::size_t from = 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::string& text = p.Stderr();
        for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
            const std::string line = text.substr(from, end - from);
            if (line.rfind(label + " ", 0) != 0) continue;
            const std::vector<float> numbers = Numbers(line.substr(label.size() + 1));
            if (wanted(numbers)) return numbers;
        }
        using std::chrono::milliseconds;
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !p.WaitForStderr("\n", static_cast<int>(left), from)) return {};
    }
}

// The first line past `from` that starts with `start`, without it; "" when none.
std::string LineAfter(const std::string& text, const std::string& start, std::size_t from) {
    for (const std::string& line : Lines(text.substr(from)))
        if (line.rfind(start, 0) == 0) return line.substr(start.size());
    return "";
}

// Pixels of the names' white text in a box 40 wide and 20 high whose top edge has its middle at (x, y).
int WhiteAround(const Screenshot& shot, int x, int y) {
    int n = 0;
    for (int py = y; py < y + 20; ++py)
        for (int px = x - 20; px < x + 20; ++px) {
            if (px < 0 || py < 0 || px >= shot.width || py >= shot.height) continue;
            const Rgb p = shot.At(px, py);
            n += p.r > 235 && p.g > 235 && p.b > 235;
        }
    return n;
}

}  // namespace

TEST(YardTogether, AGuestHoldsTheHostsCratesWalksItsFigureThereAndPushesACrateSeesNamesAndPlaysOnAlone) {
    Yard yard;
    const std::string port = std::to_string(FreeUdpPort());
    auto host = yard.Start({"--headless", "--host", port});
    ASSERT_TRUE(host->WaitForStderr("yard: hosting on port " + port + "\n", 30000)) << host->Stderr();
    const std::vector<float> hosted = WaitForNumbers(*host, "crates", [](auto& v) { return v.size() == 1; }, 10000);
    ASSERT_EQ(hosted.size(), 1u) << host->Stderr();
    ASSERT_GT(hosted[0], 0) << "the host shares its crates";

    auto ada = yard.Start({"--join", "127.0.0.1", "--port", port, "--name", "Ada"});
    const std::string window = WaitForWindow("Yard - Ada", 30000);
    ASSERT_FALSE(window.empty()) << ada->Stderr();
    ASSERT_TRUE(ada->WaitForStderr("yard: joined 127.0.0.1 as peer 2\n", 30000)) << ada->Stderr() << host->Stderr();
    ASSERT_TRUE(host->WaitForStderr("yard: peer 2 is Ada\n", 20000)) << host->Stderr();
    // Every crate of the host's, on the guest, and her own figure.
    EXPECT_TRUE(ada->WaitForStderr("crates " + std::to_string(static_cast<int>(hosted[0])) + "\n", 20000))
        << ada->Stderr();
    ASSERT_TRUE(ada->WaitForStderr("figures 1\n", 20000)) << ada->Stderr();

    auto bob = yard.Start({"--headless", "--join", "127.0.0.1", "--port", port, "--name", "Bob"});
    ASSERT_TRUE(ada->WaitForStderr("players Ada, Bob\n", 30000)) << ada->Stderr() << bob->Stderr();
    ASSERT_TRUE(ada->WaitForStderr("figures 2\n", 20000)) << ada->Stderr();

    // Where Ada's figure stands on the host before she walks, and where she does.
    const std::vector<float> start = WaitForNumbers(*host, "figure 2", [](auto& v) { return v.size() == 3; }, 20000);
    ASSERT_EQ(start.size(), 3u) << host->Stderr();
    const std::vector<float> hero = WaitForNumbers(*ada, "hero", [&](auto& v) {
        return v.size() == 3 && std::fabs(v[0] - start[0]) < 0.1f && std::fabs(v[2] - start[2]) < 0.1f;
    }, 20000);
    ASSERT_EQ(hero.size(), 3u) << "her figure on the host stands where she does\n" << ada->Stderr() << host->Stderr();
    EXPECT_EQ(host->Stderr().find("moved "), std::string::npos) << "nothing pushed the stack yet\n" << host->Stderr();
    const std::size_t hostMark = host->Stderr().size(), adaMark = ada->Stderr().size();

    // A steps left, which at the start is along +x: into the stack of crates.
    const std::string focus = "xdotool windowfocus --sync " + window + " 2>/dev/null; ";
    Shell(focus + "xdotool keydown a");
    const bool pushed = host->WaitForStderr("moved crate ", 60000, hostMark);
    const std::vector<float> walked = WaitForNumbers(*host, "figure 2", [&](auto& v) {
        return v.size() == 3 && v[0] > start[0] + 3;
    }, 60000, hostMark);
    Shell("xdotool keyup a");
    ASSERT_TRUE(pushed) << host->Stderr();
    ASSERT_EQ(walked.size(), 3u) << "her figure walks on the host\n" << host->Stderr();
    EXPECT_NEAR(walked[2], start[2], 0.3f) << "it follows her along x";
    EXPECT_NEAR(walked[1], start[1], 0.3f);
    const std::string crate = "crate " + LineAfter(host->Stderr(), "moved crate ", hostMark);
    EXPECT_TRUE(ada->WaitForStderr("moved " + crate + "\n", 30000, adaMark)) << "Ada sees " << crate << " move\n"
                                                                             << ada->Stderr();

    // Turned a quarter to her right (400 pixels a radian), Bob stands ahead of her, his name drawn over him.
    const std::size_t turnMark = ada->Stderr().size();
    Shell(focus + "xdotool mousemove_relative -- 628 0");
    ASSERT_FALSE(WaitForNumbers(*ada, "name Bob", [](auto& v) { return v.size() == 2; }, 30000, turnMark).empty())
        << ada->Stderr();
    int white = 0, sky = 0;
    for (int tries = 0; tries < 100 && white < 20; ++tries) {
        const Screenshot shot = GrabWindow(window);
        const std::vector<float> at = LastNumbers(ada->Stderr(), "name Bob");
        if (shot.Empty() || at.size() != 2) continue;
        white = WhiteAround(shot, static_cast<int>(at[0]), static_cast<int>(at[1]));
        sky = WhiteAround(shot, static_cast<int>(at[0]), static_cast<int>(at[1]) - 60);
    }
    EXPECT_GE(white, 20) << "Bob's name is drawn where Ada's game says";
    EXPECT_LT(sky, 5) << "and the white is the name's, not the picture's";

    // Bob leaves: the host takes his figure away, from Ada's yard too.
    const std::size_t leaveMark = ada->Stderr().size();
    bob->Kill(SIGTERM);
    EXPECT_EQ(bob->Wait().exitCode, 0) << bob->Stderr();
    EXPECT_TRUE(host->WaitForStderr("yard: Bob left\n", 30000)) << host->Stderr();
    EXPECT_TRUE(ada->WaitForStderr("figures 1\n", 30000, leaveMark)) << ada->Stderr();
    EXPECT_TRUE(ada->WaitForStderr("players Ada\n", 30000, leaveMark)) << ada->Stderr();
    EXPECT_TRUE(ada->WaitForStderr("name Bob hidden\n", 30000, leaveMark)) << ada->Stderr();

    // Pushing never threw a crate out of the world.
    EXPECT_EQ(host->Stderr().find("left the world's bounds"), std::string::npos) << host->Stderr();

    // The host goes: Ada is told, and plays on.
    host->Kill(SIGTERM);
    EXPECT_EQ(host->Wait().exitCode, 0) << host->Stderr();
    EXPECT_TRUE(ada->WaitForStderr("yard: The host left\n", 30000)) << ada->Stderr();
    EXPECT_TRUE(ada->Running());
    Shell(focus + "xdotool key Escape");
    EXPECT_EQ(ada->Wait().exitCode, 0) << ada->Stderr();
}
