#include "transport/program_start.h"

#include "support/temp_dir.h"

#include "core/errors.h"
#include "core/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace edi::transport {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

void makeExecutable(const fs::path& path, const std::string& content) {
    writeFileAtomically(path, content);
    fs::permissions(path, fs::perms::owner_all);
}

template <typename Condition> bool waitUntil(Condition condition, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

// A process that has ended but was not waited for still has its /proc entry (state Z).
bool processGone(pid_t pid) {
    return !fs::exists("/proc/" + std::to_string(pid));
}

class ProgramStartTest : public ::testing::Test {
protected:
    test::TempDir dir;
};

TEST_F(ProgramStartTest, ArgumentsArriveVerbatimWithoutAnyShellParsing) {
    // The script records its working folder and each argument on its own line, then renames the record
    // into place so the test never reads half of it.
    const fs::path script = dir / "record args.sh";
    makeExecutable(script, "#!/bin/sh\n"
                           "out=\"$1\"; shift\n"
                           "{ pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > \"$out.part\"\n"
                           "mv \"$out.part\" \"$out\"\n");
    const fs::path out = dir / "args.txt";
    const fs::path work = dir / "work";
    fs::create_directories(work);

    startProgram(script, {out.string(), "two words", "a;b", "$(touch pwned)", "'q' \"qq\"", "*", ""}, work);

    ASSERT_TRUE(waitUntil([&] { return fs::exists(out); }));
    EXPECT_EQ(readFile(out), work.string() + "\n[two words]\n[a;b]\n[$(touch pwned)]\n['q' \"qq\"]\n[*]\n[]\n");
    EXPECT_FALSE(fs::exists(work / "pwned"));
}

TEST_F(ProgramStartTest, ReturnsAtOnceAndTheProgramRunsInItsOwnSessionAndIsReaped) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = startProgram("/bin/sleep", {"30"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(::getsid(pid), pid);

    ::kill(pid, SIGTERM);
    EXPECT_TRUE(waitUntil([&] { return processGone(pid); })) << "the ended program was left a zombie";
}

TEST_F(ProgramStartTest, AProgramThatEndsOnItsOwnIsReaped) {
    const pid_t pid = startProgram("/bin/true");
    EXPECT_TRUE(waitUntil([&] { return processGone(pid); }));
}

TEST_F(ProgramStartTest, AFailureToStartIsReported) {
    const auto expectFailure = [](const fs::path& program, const std::string& why, const fs::path& work = {}) {
        try {
            startProgram(program, {}, work);
            ADD_FAILURE() << program << " started";
        } catch (const IoError& e) {
            EXPECT_THAT(e.what(), HasSubstr(program.string()));
            EXPECT_THAT(e.what(), HasSubstr(why));
        }
    };
    expectFailure(dir / "missing.exe", "No such file");

    writeFileAtomically(dir / "data.txt", "not a program");
    expectFailure(dir / "data.txt", "Permission denied");

    // Executable text without "#!": a shell would run it; we must not.
    const fs::path noShebang = dir / "noshebang";
    makeExecutable(noShebang, "touch '" + (dir / "ran-through-a-shell").string() + "'\n");
    expectFailure(noShebang, "Exec format error");
    EXPECT_FALSE(fs::exists(dir / "ran-through-a-shell"));

    expectFailure("/bin/true", "não existe", dir / "no-such-folder");
}

} // namespace
} // namespace edi::transport
