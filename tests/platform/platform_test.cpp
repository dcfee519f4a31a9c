// The platform layer alone: a library loaded by file name and its exports,
// each way a load fails saying why; file stamps that tell a replaced file from
// an untouched one; whether a process is still running.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "Files.h"
#include "Module.h"

namespace fs = std::filesystem;

namespace {

const std::string kLibrary = VANTOR_TEST_LIBRARY;

class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "vantor_platform_XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(Modules, ALibraryLoadsAndItsExportIsCalledAMissingExportSaysWhy) {
    const Platform::ModuleLoad load = Platform::LoadModule(kLibrary.c_str());
    ASSERT_NE(load.handle, nullptr) << load.reason;
    EXPECT_EQ(load.error, 0u);
    EXPECT_EQ(load.reason, "");
    std::string why;
    void* answer = Platform::FindExport(load.handle, "vantor_test_answer", &why);
    ASSERT_NE(answer, nullptr) << why;
    EXPECT_EQ(reinterpret_cast<int (*)()>(answer)(), 42);

    EXPECT_EQ(Platform::FindExport(load.handle, "vantor_not_exported", &why), nullptr);
    EXPECT_TRUE(Has(why, "vantor_not_exported")) << why;
    EXPECT_TRUE(Has(why, "undefined symbol")) << why;
    // No module is no module: never a search of everything loaded, which finds malloc.
    EXPECT_EQ(Platform::FindExport(nullptr, "malloc", &why), nullptr);
    EXPECT_EQ(why, "no module");
    Platform::UnloadModule(load.handle);
    Platform::UnloadModule(nullptr);
}

TEST(Modules, AMissingFileOrOneThatIsNotALibraryFailsWithTheSystemsNumberAndReason) {
    Folder folder;
    ASSERT_FALSE(folder.Path().empty());
    const std::string missing = folder / "missing.dll";
    Platform::ModuleLoad load = Platform::LoadModule(missing.c_str());
    EXPECT_EQ(load.handle, nullptr);
    EXPECT_EQ(load.error, static_cast<unsigned long>(ENOENT));
    EXPECT_TRUE(Has(load.reason, "missing.dll")) << load.reason;
    EXPECT_TRUE(Has(load.reason, "No such file")) << load.reason;
    EXPECT_EQ(Platform::FindModuleFile(missing.c_str()), "");

    // A bare name found nowhere goes to the system's search, and is not found there either.
    load = Platform::LoadModule("vantor_no_such_module.dll");
    EXPECT_EQ(load.handle, nullptr);
    EXPECT_EQ(load.error, static_cast<unsigned long>(ENOENT));
    EXPECT_FALSE(load.reason.empty());

    for (const char* text : {"not a library\n", ""}) {
        const std::string fake = folder / "fake.dll";
        Write(fake, text);
        load = Platform::LoadModule(fake.c_str());
        EXPECT_EQ(load.handle, nullptr) << "\"" << text << "\"";
        EXPECT_EQ(load.error, static_cast<unsigned long>(ENOEXEC)) << "\"" << text << "\"";
        EXPECT_TRUE(Has(load.reason, "fake.dll")) << load.reason;
        EXPECT_EQ(Platform::FindModuleFile(fake.c_str()), fake);
    }

    for (const char* name : {"", static_cast<const char*>(nullptr)}) {
        load = Platform::LoadModule(name);
        EXPECT_EQ(load.handle, nullptr);
        EXPECT_EQ(load.error, static_cast<unsigned long>(ENOENT));
        EXPECT_EQ(load.reason, "no file name given");
        EXPECT_EQ(Platform::FindModuleFile(name), "");
    }
}

// The reload watcher's question: was the file replaced? A file written anew
// beside and renamed over the old one differs even with the same size and
// time; one nobody touched stamps the same.
TEST(FileStamps, AFileRenamedOverAnotherDiffersEvenWithTheSameSizeAndTime) {
    Folder folder;
    ASSERT_FALSE(folder.Path().empty());
    const std::string file = folder / "game.dll", fresh = folder / "game.dll.new";
    EXPECT_FALSE(Platform::StampOf(file).exists);
    Write(file, "version one");
    const Platform::FileStamp first = Platform::StampOf(file);
    EXPECT_TRUE(first.exists);
    EXPECT_EQ(first.size, 11u);
    EXPECT_EQ(Platform::StampOf(file), first);

    Write(fresh, "version two");
    fs::last_write_time(fresh, fs::last_write_time(file));
    fs::rename(fresh, file);
    const Platform::FileStamp second = Platform::StampOf(file);
    EXPECT_EQ(second.size, first.size);
    EXPECT_EQ(second.modified, first.modified);
    EXPECT_NE(second, first) << "a file renamed over the old one is a new file";

    Write(file, "version three, longer");
    EXPECT_NE(Platform::StampOf(file), second);
    fs::remove(file);
    EXPECT_EQ(Platform::StampOf(file), Platform::FileStamp{});
}

TEST(Processes, ThisOneRunsAndOneThatEndedDoesNot) {
    EXPECT_EQ(Platform::CurrentProcessId(), static_cast<unsigned long>(getpid()));
    EXPECT_TRUE(Platform::ProcessAlive(Platform::CurrentProcessId()));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(0);
    EXPECT_TRUE(Platform::ProcessAlive(static_cast<unsigned long>(child))) << "not reaped yet: still there";
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_FALSE(Platform::ProcessAlive(static_cast<unsigned long>(child)));
}
