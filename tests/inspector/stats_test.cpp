// The inspector's frame graph draws the frames the stats line prints: the same
// record, rounded alike, so the two agree to the line's hundredth of a millisecond.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Stats.h"

TEST(FrameGraph, KeepsTheFramesTheStatsLinePrintsToItsHundredth) {
    ASSERT_EQ(setenv("VANTOR_STATS", "1", 1), 0);  // before the first Enabled(), which reads it once
    char path[] = "/tmp/vantor-stats-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    std::fflush(stderr);
    const int saved = dup(fileno(stderr));
    dup2(file, fileno(stderr));

    // Frames of varied lengths until the first line is out (it comes once a second).
    std::string text;
    for (int frame = 0; text.find("stats: ") == std::string::npos && frame < 100000; ++frame) {
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + 1700 * (frame % 7)));
        Stats::NotePhysics(0.25 * (frame % 5));
        Stats::EndFrame();
        std::fflush(stderr);
        std::FILE* in = std::fopen(path, "r");
        text.clear();
        for (int c; in && (c = std::fgetc(in)) != EOF;) text.push_back(static_cast<char>(c));
        if (in) std::fclose(in);
    }
    dup2(saved, fileno(stderr));
    close(saved);
    close(file);
    std::remove(path);

    const std::size_t at = text.find("stats: frames=");
    ASSERT_NE(at, std::string::npos) << text;
    int frames = 0;
    ASSERT_EQ(std::sscanf(text.c_str() + at, "stats: frames=%d", &frames), 1);
    auto numbers = [&](const char* label) {
        std::vector<double> values;
        const std::size_t from = text.find(label, at) + std::string(label).size();
        std::istringstream words(text.substr(from, text.find_first_of("\np", from) - from));
        for (double v; words >> v;) values.push_back(v);
        return values;
    };
    const std::vector<double> ms = numbers(" ms="), physics = numbers("physics_ms=");
    ASSERT_EQ(static_cast<int>(ms.size()), frames);
    ASSERT_EQ(physics.size(), ms.size());

    std::vector<Stats::Frame> kept;
    Stats::ForEachKept([&](const Stats::Frame& f) { kept.push_back(f); });
    ASSERT_GE(kept.size(), ms.size());
    for (std::size_t k = 0; k < ms.size(); ++k) {
        const Stats::Frame& f = kept[k];  // the line's frames are the first ones kept
        EXPECT_NEAR(f.ms, ms[k], 0.0051) << "frame " << k;
        EXPECT_NEAR(f.physicsMs, physics[k], 0.0051) << "frame " << k;
        if (k > 0) {  // the first is timed from the record's start, not from a sleep
            EXPECT_GT(f.ms, 1.9) << "frame " << k << " slept 2 ms or more";
            EXPECT_GT(f.end, kept[k - 1].end);
        }
    }
}
