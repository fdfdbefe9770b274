// Output rules on a real file system: where each kind of path leads, and what
// is there after a render wrote it or failed.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "host/file_writer.h"
#include "host/output_target.h"
#include "tests/host/scratch_dir.h"
#include "tests/support/host_result.h"

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

mode_t TypeOf(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// Three frames of raw output: left 1, 2, 3, right their negatives.
const StereoFrame kFrames[] = {{1, -1}, {2, -2}, {3, -3}};
const PcmFrame kPcmFrames[] = {{1, -1}, {2, -2}, {3, -3}};
constexpr size_t kRawBytes = sizeof kFrames;

}  // namespace

class OutputTarget_ : public ScratchDir {};

TEST_F(OutputTarget_, EachKindOfPathLeadsWhereExpected)
{
    const std::string d = Path("");
    WriteAll(d + "file", "old");
    ASSERT_EQ(mkfifo((d + "fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("file", (d + "link").c_str()), 0);          // relative
    ASSERT_EQ(symlink((d + "link").c_str(), (d + "link2").c_str()), 0);  // a chain
    ASSERT_EQ(symlink("missing", (d + "dangling").c_str()), 0);
    ASSERT_EQ(symlink("loop", (d + "loop").c_str()), 0);
    ASSERT_EQ(mkdir((d + "dir").c_str(), 0700), 0);
    struct Case {
        std::string path;
        bool ok;
        TargetKind kind;
        std::string finalPath;  // or the error
    };
    const Case cases[] = {
        {"-", true, TargetKind::StandardOutput, "-"},
        {d + "new", true, TargetKind::Replace, d + "new"},
        {d + "file", true, TargetKind::Replace, d + "file"},
        {d + "fifo", true, TargetKind::InPlace, d + "fifo"},
        {d + "link", true, TargetKind::Replace, d + "file"},
        {d + "link2", true, TargetKind::Replace, d + "file"},
        {d + "dangling", true, TargetKind::Replace, d + "missing"},
        {d + "dir", false, TargetKind::Replace, "is a directory"},
        {d + "loop", false, TargetKind::Replace, "too many levels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ::OutputTarget target;
        std::string error;
        ASSERT_EQ(Ok(ResolveOutputTarget(c.path, &target), &error), c.ok) << error;
        if (c.ok) {
            EXPECT_EQ(target.kind, c.kind);
            EXPECT_EQ(target.finalPath, c.finalPath);
        } else {
            EXPECT_NE(error.find(c.finalPath), std::string::npos) << error;
        }
    }
}

TEST_F(OutputTarget_, TargetsKeepTheirKindAndGetTheFrames)
{
    const std::string d = Path("");
    WriteAll(d + "file", "old");
    ASSERT_EQ(symlink("file", (d + "link").c_str()), 0);
    ASSERT_EQ(mkfifo((d + "fifo").c_str(), 0600), 0);
    // A null device of our own where device nodes may be made (root), else
    // the system's, which a writer without root could not replace anyway.
    const std::string device =
        mknod((d + "null").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0 ? d + "null" : "/dev/null";

    struct Case {
        std::string path;
        std::string readFrom;  // where the frames should be; empty: nowhere to read
        mode_t type;           // of path afterwards
    };
    std::vector<Case> cases = {
        {d + "new", d + "new", S_IFREG},
        {d + "link", d + "file", S_IFLNK},
        {d + "fifo", "", S_IFIFO},
        {device, "", S_IFCHR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string fromFifo;
        std::thread reader;
        if (c.type == S_IFIFO) {
            reader = std::thread([&] { fromFifo = ReadAll(c.path); });
        }
        FileWriter output;
        std::string error;
        ASSERT_TRUE(Ok(output.Open("", c.path, 44100, 3, stdout), &error)) << error;
        output.Take(std::span<const StereoFrame>(kFrames));
        EXPECT_TRUE(Ok(output.Finish(), &error)) << error;
        if (reader.joinable()) {
            reader.join();
            EXPECT_EQ(fromFifo.size(), kRawBytes);
        }
        EXPECT_EQ(TypeOf(c.path), c.type);
        if (!c.readFrom.empty()) {
            const std::string bytes = ReadAll(c.readFrom);
            ASSERT_EQ(bytes.size(), kRawBytes);
            EXPECT_EQ(bytes.substr(0, 8), std::string("\x01\0\0\0\xff\xff\xff\xff", 8));
        }
        EXPECT_EQ(TypeOf(c.path + ".part"), 0u);
    }
    EXPECT_EQ(TypeOf(d + "file.part"), 0u);
}

TEST_F(OutputTarget_, WhenTheSecondRenameFailsTheFirstFileIsPutBack)
{
    const std::string wav = Path("out.wav");
    const std::string raw = Path("out.bin");
    struct Case {
        const char* name;
        bool wavExisted;
    };
    for (const Case c : {Case{"replacing a file", true}, Case{"new file", false}}) {
        SCOPED_TRACE(c.name);
        if (c.wavExisted) {
            WriteAll(wav, "old wav");
            WriteAll(wav + ".old", "someone's file");  // the backup takes another name
        }
        FileWriter output;
        std::string error;
        ASSERT_TRUE(Ok(output.Open(wav, raw, 44100, 3, stdout), &error)) << error;
        output.Take(std::span<const StereoFrame>(kFrames));
        output.Take(std::span<const PcmFrame>(kPcmFrames));
        // The raw file's place is taken by a directory that is not empty by now.
        ASSERT_EQ(mkdir(raw.c_str(), 0700), 0);
        WriteAll(raw + "/x", "");
        EXPECT_FALSE(Ok(output.Finish(), &error));
        EXPECT_NE(error.find(raw), std::string::npos) << error;
        if (c.wavExisted) {
            EXPECT_EQ(ReadAll(wav), "old wav");
            EXPECT_EQ(ReadAll(wav + ".old"), "someone's file");
            std::remove((wav + ".old").c_str());
        } else {
            EXPECT_EQ(TypeOf(wav), 0u);
        }
        for (const std::string& left : {wav + ".part", wav + ".old1", raw + ".part"}) {
            EXPECT_EQ(TypeOf(left), 0u) << left;
        }
        std::remove((raw + "/x").c_str());
        rmdir(raw.c_str());
        std::remove(wav.c_str());
    }
}
