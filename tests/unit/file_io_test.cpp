// Whole-file reads and the crash-safe replacement of the Linux backend, on
// real files in a scratch directory. The tests run as root, so they check
// what permissions cannot hide: file types, links, modes and leftovers.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <set>
#include <string>

#include "platform/posix/FileIo.h"
#include "tests/unit/ScratchDir.h"

namespace {

using zb::posix::CachedFileReader;
using zb::posix::ReadRegularFile;
using zb::posix::ReplaceFileAtomically;
using namespace std::string_literals;

class FileIo : public zb::test::ScratchDir {
protected:
    void Put(const std::string& name, const std::string& bytes, mode_t mode = 0644) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        ASSERT_EQ(::chmod(Path(name).c_str(), mode), 0);
    }

    // Every name in the scratch directory: a stray temporary file shows here.
    std::set<std::string> Names() const {
        std::set<std::string> names;
        if (DIR* d = ::opendir(dir_.c_str())) {
            while (const dirent* entry = ::readdir(d)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.insert(name);
            }
            ::closedir(d);
        }
        return names;
    }

    mode_t Mode(const std::string& name) const {
        struct stat st {};
        EXPECT_EQ(::stat(Path(name).c_str(), &st), 0);
        return st.st_mode & 07777;
    }
};

TEST_F(FileIo, ReadsEveryByteOfARegularFile) {
    const std::string bytes = "[s]\r\na=\0\xff\r"s + std::string(200000, 'x');
    Put("a.ini", bytes);
    EXPECT_EQ(ReadRegularFile(Path("a.ini")), bytes);
    Put("empty.ini", "");
    EXPECT_EQ(ReadRegularFile(Path("empty.ini")), "");
}

TEST_F(FileIo, ReadsNothingButRegularFiles) {
    EXPECT_EQ(ReadRegularFile(Path("missing.ini")), std::nullopt);
    ASSERT_EQ(::mkdir(Path("dir.ini").c_str(), 0755), 0);
    EXPECT_EQ(ReadRegularFile(Path("dir.ini")), std::nullopt);
    // A FIFO without a writer would block a plain open for good.
    ASSERT_EQ(::mkfifo(Path("fifo.ini").c_str(), 0644), 0);
    EXPECT_EQ(ReadRegularFile(Path("fifo.ini")), std::nullopt);
    EXPECT_EQ(ReadRegularFile("/dev/null"), std::nullopt);
}

TEST_F(FileIo, ReplacesContentsAndKeepsTheMode) {
    Put("a.ini", "old", 0640);
    ASSERT_TRUE(ReplaceFileAtomically(Path("a.ini"), "new\r\n"));
    EXPECT_EQ(ReadRegularFile(Path("a.ini")), "new\r\n");
    EXPECT_EQ(Mode("a.ini"), 0640u);
    EXPECT_EQ(Names(), std::set<std::string>{"a.ini"});
}

TEST_F(FileIo, CreatesAMissingFileWithTheUsualMode) {
    const mode_t old = ::umask(027);
    const bool ok = ReplaceFileAtomically(Path("new.ini"), "[s]\r\n");
    ::umask(old);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadRegularFile(Path("new.ini")), "[s]\r\n");
    EXPECT_EQ(Mode("new.ini"), 0640u);
}

TEST_F(FileIo, ReplacesTheTargetOfASymbolicLink) {
    Put("target.ini", "old", 0600);
    ASSERT_EQ(::symlink("target.ini", Path("link.ini").c_str()), 0);
    ASSERT_TRUE(ReplaceFileAtomically(Path("link.ini"), "new"));
    struct stat st {};
    ASSERT_EQ(::lstat(Path("link.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadRegularFile(Path("target.ini")), "new");
    EXPECT_EQ(Mode("target.ini"), 0600u);
    EXPECT_EQ(Names(), (std::set<std::string>{"link.ini", "target.ini"}));
}

TEST_F(FileIo, RefusesWhatItCannotReplaceAndLeavesNoTrace) {
    ASSERT_EQ(::mkdir(Path("dir.ini").c_str(), 0755), 0);
    Put("dir.ini/inner", "keep");
    EXPECT_FALSE(ReplaceFileAtomically(Path("dir.ini"), "x"));
    EXPECT_EQ(ReadRegularFile(Path("dir.ini/inner")), "keep");

    ASSERT_EQ(::symlink("nowhere.ini", Path("dangling.ini").c_str()), 0);
    EXPECT_FALSE(ReplaceFileAtomically(Path("dangling.ini"), "x"));

    ASSERT_EQ(::mkfifo(Path("fifo.ini").c_str(), 0644), 0);
    EXPECT_FALSE(ReplaceFileAtomically(Path("fifo.ini"), "x"));

    // Marked read-only: its content and mode stay, whoever writes.
    Put("frozen.ini", "left= 1500", 0444);
    EXPECT_FALSE(ReplaceFileAtomically(Path("frozen.ini"), "x"));
    EXPECT_EQ(ReadRegularFile(Path("frozen.ini")), "left= 1500");
    EXPECT_EQ(Mode("frozen.ini"), 0444u);

    EXPECT_FALSE(ReplaceFileAtomically(Path("no/such/dir.ini"), "x"));
    EXPECT_FALSE(ReplaceFileAtomically(Path("dir.ini/inner/x.ini"), "x"));
    EXPECT_EQ(Names(),
              (std::set<std::string>{"dangling.ini", "dir.ini", "fifo.ini", "frozen.ini"}));
}

TEST_F(FileIo, RemovesOnlyStaleTemporaryFilesOfItsOwn) {
    Put("x.ini", "old");
    // name, age in seconds, whether a living writer holds it; true: removed.
    struct Case {
        const char* name;
        int age;
        bool held;
        bool removed;
    };
    const Case cases[] = {
        {".x.ini.Ab3dE9", 120, false, true},   // left by a killed writer
        {".x.ini.Rec3nt", 10, false, true},    // killed a few seconds ago
        {".x.ini.Fresh1", 0, false, false},    // a writer may just have made it
        {".x.ini.Held22", 120, true, false},   // a writer still holds it
        {".x.ini.bak", 120, false, false},     // not our pattern
        {".x.ini.Ab3-E9", 120, false, false},  // not our pattern
        {".y.ini.Ab3dE9", 120, false, false},  // another target's
        {"x.ini.Ab3dE9", 120, false, false},   // not hidden: not ours
    };
    int held = -1;
    for (const Case& c : cases) {
        Put(c.name, "someone's");
        const std::time_t when = std::time(nullptr) - c.age;
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, Path(c.name).c_str(), times, 0), 0);
        if (c.held) {
            held = ::open(Path(c.name).c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_EQ(::flock(held, LOCK_EX), 0);
        }
    }
    ASSERT_TRUE(ReplaceFileAtomically(Path("x.ini"), "new"));
    EXPECT_EQ(ReadRegularFile(Path("x.ini")), "new");
    for (const Case& c : cases)
        EXPECT_EQ(Names().count(c.name) == 0, c.removed) << c.name;
    ::close(held);
}

TEST_F(FileIo, CachedReadsSeeEveryChangeOfTheFile) {
    CachedFileReader reader;
    EXPECT_EQ(reader.Read(Path("a.ini")), std::nullopt);
    Put("a.ini", "one");
    EXPECT_EQ(reader.Read(Path("a.ini")), "one");
    EXPECT_EQ(reader.Read(Path("a.ini")), "one");
    // Rewritten in place, and replaced by a rename.
    Put("a.ini", "two!");
    EXPECT_EQ(reader.Read(Path("a.ini")), "two!");
    ASSERT_TRUE(ReplaceFileAtomically(Path("a.ini"), "three"));
    EXPECT_EQ(reader.Read(Path("a.ini")), "three");
    // Another file, then the first one again.
    Put("b.ini", "bee");
    EXPECT_EQ(reader.Read(Path("b.ini")), "bee");
    EXPECT_EQ(reader.Read(Path("a.ini")), "three");
    // Gone, or no longer a regular file.
    ASSERT_EQ(::unlink(Path("a.ini").c_str()), 0);
    EXPECT_EQ(reader.Read(Path("a.ini")), std::nullopt);
    ASSERT_EQ(::mkfifo(Path("a.ini").c_str(), 0644), 0);
    EXPECT_EQ(reader.Read(Path("a.ini")), std::nullopt);
}

}  // namespace
