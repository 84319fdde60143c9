// The POSIX file, process and clock operations of the Linux backend, on a
// real file system in a temporary directory.
#include "platform/posix/Files.h"
#include "platform/posix/Folders.h"
#include "platform/posix/Locale.h"
#include "platform/posix/Process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "platform/Failure.h"
#include "tests/unit/ScratchDir.h"

namespace fs = std::filesystem;
using zb::Failure;
using zb::LockResult;
using namespace zb::posix;

namespace {

class TempDir : public zb::test::ScratchDir {
protected:
    std::string Touch(const std::string& name, const std::string& content = {}) {
        std::ofstream(Path(name)) << content;
        return Path(name);
    }
    std::string Script(const std::string& name, const std::string& body, bool executable = true) {
        std::string path = Touch(name, body);
        ::chmod(path.c_str(), executable ? 0755 : 0644);
        return path;
    }
};

// Waits for `done`, polling; generous, since no test measures time.
template <typename F>
bool WaitFor(F done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

int FailureNumber(const std::function<void()>& call) {
    try {
        call();
    } catch (const Failure& failure) {
        return failure.number();
    }
    return 0;
}

// --- names -------------------------------------------------------

TEST(NativePathTest, EveryBackslashBecomesASlash) {
    EXPECT_EQ(NativePath("/opt/zb\\zettelblick.ini"), "/opt/zb/zettelblick.ini");
    EXPECT_EQ(NativePath("/opt/zb\\sub\\ding.wav"), "/opt/zb/sub/ding.wav");
    // A root application folder, or an absolute name joined to a folder,
    // gives one separator, not two in a row.
    EXPECT_EQ(NativePath("/\\x.tmp"), "/x.tmp");
    EXPECT_EQ(NativePath("/opt/zb\\/home/u/pic.jpg"), "/opt/zb/home/u/pic.jpg");
    EXPECT_EQ(NativePath("plain"), "plain");
}

// --- FileExists ------------------------------------------------------------------

using FindRegularFileTest = TempDir;

TEST_F(FindRegularFileTest, OrdinaryFilesOnly) {
    Touch("message.wav");
    fs::create_directory(Path("folder"));
    Touch(".hidden");
    ::mkfifo(Path("fifo").c_str(), 0644);

    EXPECT_TRUE(FindRegularFile(Path("message.wav")));
    EXPECT_FALSE(FindRegularFile(Path("missing.wav")));
    EXPECT_FALSE(FindRegularFile(Path("folder")));
    EXPECT_FALSE(FindRegularFile(Path(".hidden")));
    EXPECT_FALSE(FindRegularFile(Path("fifo")));
    EXPECT_FALSE(FindRegularFile(Path("missing/message.wav")));
    // A name that ends in a separator names no file.
    EXPECT_FALSE(FindRegularFile(dir_ + "/"));
    EXPECT_FALSE(FindRegularFile(Path("folder/")));
}

TEST_F(FindRegularFileTest, SymbolicLinksCountByTheirTarget) {
    Touch("real.wav");
    fs::create_directory(Path("folder"));
    fs::create_symlink(Path("real.wav"), Path("link.wav"));
    fs::create_symlink(Path("gone.wav"), Path("dangling.wav"));
    fs::create_directory_symlink(Path("folder"), Path("dirlink"));

    EXPECT_TRUE(FindRegularFile(Path("link.wav")));
    EXPECT_FALSE(FindRegularFile(Path("dangling.wav")));
    EXPECT_FALSE(FindRegularFile(Path("dirlink")));
    EXPECT_TRUE(FindRegularFile(Path("l*.wav")));
    EXPECT_FALSE(FindRegularFile(Path("dang*")));
}

TEST_F(FindRegularFileTest, WildcardsMatchFilesButNotFoldersOrHiddenNames) {
    Touch("zettelblick_Text1_Work.tmp");
    fs::create_directory(Path("folder.wav"));
    Touch(".secret.wav");

    EXPECT_TRUE(FindRegularFile(Path("zettelblick_Text1_*.tmp")));
    EXPECT_TRUE(FindRegularFile(Path("zettelblick_Text?_Work.tmp")));
    EXPECT_FALSE(FindRegularFile(Path("zettelblick_Text??_Work.tmp")));
    EXPECT_FALSE(FindRegularFile(Path("*.wav")));
    EXPECT_FALSE(FindRegularFile(Path("*.TMP")));
    EXPECT_FALSE(FindRegularFile(Path("nowhere/*")));
}

TEST_F(FindRegularFileTest, BackslashPathsFromTheLogic) {
    fs::create_directory(Path("sub"));
    Touch("sub/ding.wav");
    EXPECT_TRUE(FindRegularFile(NativePath(dir_ + "\\sub\\ding.wav")));
    EXPECT_TRUE(FindRegularFile(NativePath(dir_ + "\\sub\\*.wav")));
}

// --- lock files ------------------------------------------------------------------

using OwnFilesTest = TempDir;

TEST_F(OwnFilesTest, HoldsTheLockUntilItsHolderEndsThenItIsTakenOver) {
    const std::string lock = Path("zettelblick_Text1_Beispieltext.tmp");
    {
        OwnFiles files;
        EXPECT_EQ(files.TakeLock(lock), LockResult::Created);
        EXPECT_TRUE(fs::is_regular_file(lock));
        EXPECT_EQ(fs::file_size(lock), 0u);
        EXPECT_EQ(files.TakeLock(lock), LockResult::Held);
        OwnFiles other;
        EXPECT_EQ(other.TakeLock(lock), LockResult::Held);
    }  // the holder ends without deleting its file, as a killed process does
    OwnFiles next;
    EXPECT_EQ(next.TakeLock(lock), LockResult::TakenOver);
    OwnFiles other;
    EXPECT_EQ(other.TakeLock(lock), LockResult::Held);
    EXPECT_TRUE(next.Delete(lock));
    EXPECT_FALSE(fs::exists(lock));

    // A file with contents is no lock of ours: it is never taken, so never deleted.
    Touch("zettelblick_Text1_Beispieltext.tmp", "someone's notes");
    EXPECT_EQ(next.TakeLock(lock), LockResult::Held);
    EXPECT_FALSE(next.Delete(lock));
    EXPECT_TRUE(fs::exists(lock));
}

TEST_F(OwnFilesTest, NeverCreatesThroughASymbolicLink) {
    OwnFiles files;
    fs::create_symlink(Path("target.txt"), Path("lock.tmp"));
    EXPECT_EQ(files.TakeLock(Path("lock.tmp")), LockResult::Held);
    EXPECT_FALSE(fs::exists(Path("target.txt")));
}

TEST_F(OwnFilesTest, FailuresNameTheKindOfProblem) {
    OwnFiles files;
    EXPECT_EQ(FailureNumber([&] { files.TakeLock(Path("missing/lock.tmp")); }),
              zb::kErrPathNotFound);
    Touch("file");
    EXPECT_EQ(FailureNumber([&] { files.TakeLock(Path("file/lock.tmp")); }), zb::kErrPathNotFound);
    if (::geteuid() != 0) {
        fs::create_directory(Path("readonly"));
        ::chmod(Path("readonly").c_str(), 0555);
        EXPECT_EQ(FailureNumber([&] { files.TakeLock(Path("readonly/lock.tmp")); }),
                  zb::kErrPermissionDenied);
    }
}

TEST_F(OwnFilesTest, DeletesOnlyItsOwnFile) {
    OwnFiles files;
    const std::string lock = Path("lock.tmp");
    ASSERT_EQ(files.TakeLock(lock), LockResult::Created);
    EXPECT_TRUE(files.Delete(lock));
    EXPECT_FALSE(fs::exists(lock));
    // Already gone.
    EXPECT_FALSE(files.Delete(lock));

    // Someone replaced our file with their own: it stays.
    ASSERT_EQ(files.TakeLock(lock), LockResult::Created);
    fs::remove(lock);
    Touch("other");
    Touch("lock.tmp", "theirs");
    EXPECT_FALSE(files.Delete(lock));
    EXPECT_TRUE(fs::exists(lock));

    // Replaced at once, so the file system may hand the new file our old
    // inode number (ext4 does): it still stays.
    const std::string second = Path("second.tmp");
    ASSERT_EQ(files.TakeLock(second), LockResult::Created);
    fs::remove(second);
    Touch("second.tmp", "theirs too");
    EXPECT_FALSE(files.Delete(second));
    EXPECT_TRUE(fs::exists(second));

    // A file this object never created is left alone.
    OwnFiles stranger;
    EXPECT_FALSE(stranger.Delete(lock));
    EXPECT_TRUE(fs::exists(lock));
}

// --- program start ---------------------------------------------------------------

class SpawnProgramTest : public TempDir {
protected:
    void SetUp() override {
        TempDir::SetUp();
        InstallChildReaper();
    }
};

TEST_F(SpawnProgramTest, StartsTheProgramWithoutWaiting) {
    const std::string marker = Path("started");
    const std::string program =
        Script("mail client", "#!/bin/sh\necho \"$0|$#\" > '" + marker + "'\n");
    SpawnProgram(program);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(marker) && fs::file_size(marker) > 0; }));
    std::ifstream in(marker);
    std::string line;
    std::getline(in, line);
    // The path with its blank is one argument; no further arguments.
    EXPECT_EQ(line, program + "|0");
}

TEST_F(SpawnProgramTest, EndedProgramsAreReaped) {
    SpawnProgram(Script("quick", "#!/bin/sh\nexit 0\n"));
    // No child of this process is left, not even a zombie (WNOWAIT only looks).
    EXPECT_TRUE(WaitFor([] {
        siginfo_t info{};
        return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
    }));
}

TEST_F(SpawnProgramTest, ABareNameIsNotSearchedAlongThePath) {
    const std::string saved = fs::current_path();
    fs::current_path(dir_);
    // "sh" is on the search path but not in the current directory.
    int number = FailureNumber([] { SpawnProgram("sh"); });
    Script("local", "#!/bin/sh\ntouch ran-local\n");
    SpawnProgram("local");
    bool ranLocal = WaitFor([] { return fs::exists("ran-local"); });
    fs::current_path(saved);
    EXPECT_EQ(number, zb::kErrFileNotFound);
    EXPECT_TRUE(ranLocal);
}

TEST_F(SpawnProgramTest, FilesThatAreNoProgramsFail) {
    EXPECT_EQ(FailureNumber([&] { SpawnProgram(Path("missing")); }), zb::kErrFileNotFound);
    EXPECT_EQ(FailureNumber([&] { SpawnProgram(Script("document.txt", "text\n", false)); }),
              zb::kErrPermissionDenied);
    fs::create_directory(Path("folder"));
    EXPECT_EQ(FailureNumber([&] { SpawnProgram(Path("folder")); }), zb::kErrPermissionDenied);
    // Executable, but neither a binary nor a script with a "#!" line.
    EXPECT_EQ(FailureNumber([&] { SpawnProgram(Script("garbage", "\x01\x02\x03 text\n")); }),
              zb::kErrPathFileAccess);
}

// --- process ---------------------------------------------------------------------

TEST(JoinArgumentsTest, ArgumentsAfterTheProgramName) {
    char program[] = "zettelblick", text[] = "/text:Text2", place[] = "/place:Inbox_Work",
         spaced[] = "a b";
    char* none[] = {program, nullptr};
    char* two[] = {program, text, place, nullptr};
    char* withBlank[] = {program, spaced, text, nullptr};
    EXPECT_EQ(JoinArguments(1, none), "");
    EXPECT_EQ(JoinArguments(0, none), "");
    EXPECT_EQ(JoinArguments(3, two), "/text:Text2 /place:Inbox_Work");
    EXPECT_EQ(JoinArguments(3, withBlank), "a b /text:Text2");
}

TEST(ExecutableDirectoryTest, TheFolderThatHoldsThisProgram) {
    const std::string dir = ExecutableDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir[0], '/');
    EXPECT_NE(dir.back(), '/');
    EXPECT_EQ(fs::path(dir), fs::canonical("/proc/self/exe").parent_path());
}

// --- folders ---------------------------------------------------------------------

// Where a run keeps its files: beside the program in a portable folder, in
// the user's own folders for an installed program (PREFIX/bin beside
// PREFIX/share/zettelblick), its locks in one folder per user and machine
// whatever XDG_RUNTIME_DIR says.
TEST_F(TempDir, FoldersPortableOrInstalled) {
    const std::string home = Path("home"), uid = std::to_string(::geteuid());
    fs::create_directories(Path("portable"));
    fs::create_directories(Path("usr/bin"));
    fs::create_directories(Path("usr/share/zettelblick"));
    fs::create_directories(home);
    fs::create_directories(Path("tmp"));
    const std::string bin = Path("usr/bin"), data = Path("usr/share/zettelblick");
    const std::string config = home + "/.config/zettelblick";
    const std::string session = Path("run/" + uid), temporary = Path("tmp/zettelblick-" + uid);
    struct Case {
        const char* what;
        std::string exeDir;
        std::map<std::string, std::string> environment;
        // The mode of the session's runtime folder; 0: there is none.
        int runtimeMode;
        zb::AppFolders expected;
    };
    const Case cases[] = {
        {"portable",
         Path("portable"),
         {{"HOME", home}, {"XDG_RUNTIME_DIR", session}},
         0700,
         {Path("portable"), Path("portable"), {Path("portable")}}},
        {"installed, in a session",
         bin,
         {{"HOME", home}, {"XDG_RUNTIME_DIR", session}},
         0700,
         {config, session + "/zettelblick", {config, bin, data}}},
        {"installed, started without the session's variables (a mail filter, cron)",
         bin,
         {{"HOME", home}},
         0700,
         {config, session + "/zettelblick", {config, bin, data}}},
        {"own config folder, another runtime folder named",
         bin,
         {{"HOME", home}, {"XDG_CONFIG_HOME", Path("cfg")}, {"XDG_RUNTIME_DIR", Path("tmp")}},
         0700,
         {Path("cfg/zettelblick"), session + "/zettelblick", {Path("cfg/zettelblick"), bin, data}}},
        {"relative config folder ignored, no session",
         bin,
         {{"HOME", home}, {"XDG_CONFIG_HOME", "cfg"}},
         0,
         {config, temporary, {config, bin, data}}},
        {"a runtime folder others may enter is not used",
         bin,
         {{"HOME", home}},
         0755,
         {config, temporary, {config, bin, data}}},
    };
    const zb::posix::LockRoots roots{Path("run"), Path("tmp")};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(config);
        fs::remove_all(Path("run"));
        if (c.runtimeMode) {
            fs::create_directories(session);
            ::chmod(session.c_str(), static_cast<mode_t>(c.runtimeMode));
        }
        const zb::AppFolders folders = ChooseFolders(
            c.exeDir,
            [&](const char* name) {
                auto it = c.environment.find(name);
                return it == c.environment.end() ? nullptr : it->second.c_str();
            },
            roots);
        EXPECT_EQ(folders.settings, c.expected.settings);
        EXPECT_EQ(folders.locks, c.expected.locks);
        EXPECT_EQ(folders.data, c.expected.data);
        // The lock folder exists, private to the user; the settings folder
        // waits for the first write.
        struct stat st;
        ASSERT_EQ(::lstat(folders.locks.c_str(), &st), 0);
        if (folders.locks != c.exeDir) {
            EXPECT_EQ(st.st_mode & 0777, 0700u);
        }
        EXPECT_EQ(fs::exists(folders.settings), folders.settings == c.exeDir);
    }

    // A lock folder in the temporary folder that is not this user's own
    // (here a link to another folder) is refused, never used.
    fs::remove_all(Path("run"));
    fs::remove_all(temporary);
    fs::create_directories(Path("elsewhere"));
    fs::create_directory_symlink(Path("elsewhere"), temporary);
    EXPECT_EQ(FailureNumber([&] { zb::posix::UserLockFolder(roots); }), zb::kErrPermissionDenied);
}

// --- clock -----------------------------------------------------------------------

class LocaleTextTest : public ::testing::Test {
protected:
    // The locales these tests need are compiled into a private folder when
    // the system lacks them (glibc reads LOCPATH on every setlocale).
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/zb-locales-XXXXXX";
        if (!::mkdtemp(pattern))
            return;
        localeDir_ = pattern;
        const std::pair<const char*, const char*> locales[] = {
            {"-i de_DE -f UTF-8", "de_DE.UTF-8"}, {"-i ko_KR -f EUC-KR", "ko_KR.EUC-KR"}};
        for (auto [options, name] : locales) {
            std::string command = std::string("localedef ") + options + " " + localeDir_ + "/" +
                                  name + " >/dev/null 2>&1";
            [[maybe_unused]] int status = std::system(command.c_str());
        }
        ::setenv("LOCPATH", localeDir_.c_str(), 1);
    }
    static void TearDownTestSuite() {
        ::unsetenv("LOCPATH");
        std::error_code ignored;
        if (!localeDir_.empty())
            fs::remove_all(localeDir_, ignored);
    }
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
    // 31 January 2005, 08:05:09 UTC.
    static constexpr std::time_t kWhen = 1107158709;
    static inline std::string localeDir_;
};

TEST_F(LocaleTextTest, CLocale) {
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(LocaleDateText(kWhen), "01/31/05");
    EXPECT_EQ(LocaleTimeText(kWhen), "08:05:09");
}

TEST_F(LocaleTextTest, GermanUser) {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "locale de_DE.UTF-8 not available";
    EXPECT_EQ(LocaleDateText(kWhen), "31.01.2005");
    EXPECT_EQ(LocaleTimeText(kWhen), "08:05:09");
}

TEST_F(LocaleTextTest, OtherCharacterSetsComeBackAsUtf8) {
    // ko_KR's time format holds Hangul; in an EUC-KR locale strftime gives
    // EUC-KR bytes, which must come back as UTF-8.
    if (!std::setlocale(LC_ALL, "ko_KR.EUC-KR"))
        GTEST_SKIP() << "locale ko_KR.EUC-KR not available";
    EXPECT_EQ(LocaleTimeText(kWhen), "08\xec\x8b\x9c 05\xeb\xb6\x84 09\xec\xb4\x88");
}

}  // namespace
