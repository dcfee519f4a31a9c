// The base every layer stands on: what a handle finds after its object is gone,
// how the file reader refuses, and that warnings can be taken by a test.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>  // Required for: geteuid()

#include "base/Files.h"
#include "base/Handles.h"
#include "base/Log.h"
#include "base/Numbers.h"

namespace {

struct Thing {
    int value;
};

TEST(HandlePool, StaleForeignAndNeverIssuedHandlesFindNothingAndSayWhy) {
    base::Pool<Thing> lights("TEST", "test light");
    base::Pool<Thing> sounds("TEST", "test sound");

    const base::Handle a = lights.Add(Thing{1});
    const base::Handle s = sounds.Add(Thing{2});
    ASSERT_NE(a, 0u);
    EXPECT_GT(static_cast<int>(a), 0) << "handles are positive as an int";
    EXPECT_EQ(lights.Find(a)->value, 1);

    // The same slot index in another pool is another kind: refused.
    EXPECT_EQ(base::handles::IndexOf(a), base::handles::IndexOf(s));
    EXPECT_EQ(lights.Find(s), nullptr);
    EXPECT_EQ(sounds.Find(a), nullptr);

    // Released, the slot is reused, but the old handle never reaches the new object.
    ASSERT_TRUE(lights.Remove(a));
    EXPECT_FALSE(lights.Remove(a));
    const base::Handle b = lights.Add(Thing{3});
    EXPECT_EQ(base::handles::IndexOf(a), base::handles::IndexOf(b));
    EXPECT_NE(a, b);
    EXPECT_EQ(lights.Find(a), nullptr);
    EXPECT_EQ(lights.Find(b)->value, 3);

    base::WarningCapture warnings;
    EXPECT_EQ(lights.Get(a, "SetLightColor"), nullptr);
    EXPECT_EQ(lights.Get(s, "SetLightColor"), nullptr);
    EXPECT_EQ(lights.Get(b + 5, "SetLightColor"), nullptr);
    EXPECT_EQ(lights.Get(0, "SetLightColor"), nullptr);
    const auto lines = warnings.Lines();
    ASSERT_EQ(lines.size(), 3u) << warnings.Joined() << "(handle 0 means none and is not warned of)";
    EXPECT_EQ(lines[0], "TEST: SetLightColor: test light " + std::to_string(a) + " was released");
    EXPECT_EQ(lines[1], "TEST: SetLightColor: test light " + std::to_string(s) + " is a test sound handle");
    EXPECT_NE(lines[2].find("was never issued"), std::string::npos) << lines[2];
}

TEST(HandlePool, ASlotIsRetiredRatherThanIssueAHandleTwiceAndObjectsNeverMove) {
    base::Pool<Thing> pool("TEST", "test body");
    std::set<base::Handle> issued;
    const base::Handle first = pool.Add(Thing{0});
    const Thing* kept = pool.Find(first);
    for (int i = 0; i < 1000; ++i) {
        const base::Handle h = pool.Add(Thing{i});
        ASSERT_TRUE(issued.insert(h).second) << "handle " << h << " issued twice";
        ASSERT_TRUE(pool.Remove(h));
    }
    // A thousand objects added while `first` lives: it stays where it was.
    for (int i = 0; i < 1000; ++i) pool.Add(Thing{i});
    EXPECT_EQ(pool.Find(first), kept);
    EXPECT_EQ(pool.Size(), 1001u);

    // Clear makes every handle stale.
    const std::vector<base::Handle> live = pool.Handles();
    pool.Clear();
    EXPECT_TRUE(pool.Empty());
    for (base::Handle h : live) EXPECT_EQ(pool.Find(h), nullptr);
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vantor-base-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, std::size_t size) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << std::string(size, 'x');
        return path;
    }
    std::filesystem::path dir_;
};

using FileReader = TempDir;

TEST_F(FileReader, ReadsWholeFilesUpToTheLimitAndRefusesWithTheReason) {
    const std::string exact = Write("exact.bin", 4096);
    base::FileData data = base::ReadFile(exact, 4096);
    ASSERT_TRUE(data) << data.why;
    EXPECT_EQ(data.bytes.size(), 4096u);

    data = base::ReadFile(Write("big.bin", 4097), 4096);
    EXPECT_EQ(data.error, base::FileError::TooLarge);
    EXPECT_EQ(data.why, "the file is larger than 4 KiB");
    EXPECT_TRUE(data.bytes.empty());

    data = base::ReadFile((dir_ / "absent.bin").string(), 4096);
    EXPECT_EQ(data.error, base::FileError::Missing);
    EXPECT_EQ(data.why, "the file does not exist");

    data = base::ReadFile(dir_.string(), 4096);
    EXPECT_EQ(data.error, base::FileError::Unreadable);

    data = base::ReadFile("", 4096);
    EXPECT_EQ(data.error, base::FileError::NoName);

    // A device that never ends is held to the limit while it is read.
    data = base::ReadFile("/dev/zero", 1 << 20);
    EXPECT_EQ(data.error, base::FileError::TooLarge);
    EXPECT_EQ(data.why, "the file is larger than 1 MiB");
}

TEST_F(FileReader, AReadThatFailsPartWayIsAnErrorNotAShortFile) {
    // Reading a process's memory from address 0 opens fine and then fails (EIO).
    base::FileData data = base::ReadFile("/proc/self/mem", 1 << 20);
    EXPECT_EQ(data.error, base::FileError::ReadError);
    EXPECT_NE(data.why.find("could not be read"), std::string::npos) << data.why;
    EXPECT_TRUE(data.bytes.empty());

    if (geteuid() != 0) {
        const std::string locked = Write("locked.bin", 10);
        std::filesystem::permissions(locked, std::filesystem::perms::none);
        EXPECT_EQ(base::ReadFile(locked, 100).error, base::FileError::Unreadable);
    }
}

TEST(Numbers, OneMeaningOfFiniteAndInRange) {
    struct V3 { float x, y, z; };
    struct Q { float x, y, z, w; };
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    EXPECT_TRUE(base::Finite(1.0f, -2.0, 3));
    EXPECT_FALSE(base::Finite(1.0f, nan));
    EXPECT_FALSE(base::FiniteVector(V3{0, inf, 0}));
    EXPECT_FALSE(base::FiniteVector(Q{0, 0, 0, nan})) << "w is checked too";
    EXPECT_TRUE(base::FiniteVector(Q{0, 0, 0, 1}));
    EXPECT_EQ(base::FiniteOr(nan, 2.0f), 2.0f);
    EXPECT_FALSE(base::InRange(nan, 0.0f, 1.0f));
    EXPECT_TRUE(base::InRange(1.0f, 0.0f, 1.0f));
    EXPECT_TRUE(base::FitsInt(-2147483648.5));
    EXPECT_FALSE(base::FitsInt(2147483648.0));
}

}  // namespace
