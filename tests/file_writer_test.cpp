// The host library's one file writer: each rule once, on a real file system.
#include "host/corlith_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Drops the capabilities that pass permission checks, for the calling thread only (the raw
// call, unlike libcap's, changes one thread), so that root meets a closed folder as a user.
void DropOverrideForThisThread() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) data[0].effective &= ~(1u << cap);
    ::syscall(SYS_capset, &header, data);
}

class FileWriter : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vantrel-writer-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        for (const auto& entry : fs::recursive_directory_iterator(dir_))
            if (entry.is_directory() && !entry.is_symlink())
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }
    // Names in the folder (one level down too) that are no file the case made.
    std::vector<std::string> Temporaries() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(dir_))
            if (entry.path().filename().string().ends_with(".tmp")) found.push_back(entry.path().string());
        return found;
    }
    fs::path dir_;
};

}  // namespace

TEST_F(FileWriter, EachKindOfTargetIsReplacedFollowedWrittenInPlaceOrRefused) {
    const std::string bytes = "new content\n";
    struct Case {
        const char* what;
        std::function<fs::path(const fs::path&)> setUp;  // makes the target, returns the path written
        corlith::TFileWrite::Failure failure;
        std::function<void(const fs::path&)> check;
    };
    const mode_t oldMask = ::umask(022);
    const std::vector<Case> cases = {
        {"new file: mode from the umask", [](const fs::path& d) { return d / "new.txt"; }, corlith::TFileWrite::None,
         [&](const fs::path& d) {
             EXPECT_EQ(Read(d / "new.txt"), bytes);
             EXPECT_EQ(ModeOf(d / "new.txt"), 0644u);
         }},
        {"existing file keeps its mode",
         [](const fs::path& d) {
             Write(d / "old.txt", "earlier, and longer than the new content");
             fs::permissions(d / "old.txt", fs::perms(0600));
             return d / "old.txt";
         },
         corlith::TFileWrite::None,
         [&](const fs::path& d) {
             EXPECT_EQ(Read(d / "old.txt"), bytes);
             EXPECT_EQ(ModeOf(d / "old.txt"), 0600u);
         }},
        {"symbolic link: its target written, the link kept",
         [](const fs::path& d) {
             fs::create_directory(d / "real");
             Write(d / "real/t.txt", "earlier");
             fs::create_symlink("real/t.txt", d / "link.txt");
             return d / "link.txt";
         },
         corlith::TFileWrite::None,
         [&](const fs::path& d) {
             EXPECT_TRUE(fs::is_symlink(d / "link.txt"));
             EXPECT_EQ(Read(d / "real/t.txt"), bytes);
         }},
        {"dangling link: its target created",
         [](const fs::path& d) {
             fs::create_directory(d / "real");
             fs::create_symlink("real/made.txt", d / "dangling.txt");
             return d / "dangling.txt";
         },
         corlith::TFileWrite::None, [&](const fs::path& d) { EXPECT_EQ(Read(d / "real/made.txt"), bytes); }},
        {"hard-linked file written in place",
         [](const fs::path& d) {
             Write(d / "one.txt", "earlier, and longer than the new content");
             fs::create_hard_link(d / "one.txt", d / "two.txt");
             return d / "one.txt";
         },
         corlith::TFileWrite::None,
         [&](const fs::path& d) {
             EXPECT_EQ(Read(d / "two.txt"), bytes);
             EXPECT_EQ(fs::hard_link_count(d / "one.txt"), 2u);
         }},
        {"FIFO refused",
         [](const fs::path& d) {
             ::mkfifo((d / "pipe").c_str(), 0666);
             return d / "pipe";
         },
         corlith::TFileWrite::NotAFile, [](const fs::path& d) { EXPECT_TRUE(fs::is_fifo(d / "pipe")); }},
        {"device refused", [](const fs::path&) { return fs::path("/dev/null"); }, corlith::TFileWrite::NotAFile,
         [](const fs::path&) { EXPECT_TRUE(fs::is_character_file("/dev/null")); }},
        {"folder refused",
         [](const fs::path& d) {
             fs::create_directory(d / "folder");
             Write(d / "folder/inside.txt", "kept");
             return d / "folder";
         },
         corlith::TFileWrite::Create, [](const fs::path& d) { EXPECT_EQ(Read(d / "folder/inside.txt"), "kept"); }},
        {"missing folder", [](const fs::path& d) { return d / "missing/x.txt"; }, corlith::TFileWrite::Create,
         [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "missing")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path sub = dir_ / std::to_string(&c - cases.data());
        fs::create_directory(sub);
        const corlith::TFileWrite result = corlith::WriteFileWhole(c.setUp(sub).string(), bytes);
        EXPECT_EQ(result.failure, c.failure) << result.error;
        if (c.failure != corlith::TFileWrite::None) {
            EXPECT_FALSE(corlith::FileWriteReason(result).empty());
        }
        c.check(sub);
    }
    ::umask(oldMask);
    EXPECT_EQ(Temporaries(), std::vector<std::string>{});
}

TEST_F(FileWriter, FolderThatTakesNoNewFileHasItsWritableFileWrittenInPlace) {
    Write(dir_ / "kept.txt", "earlier");
    fs::permissions(dir_, fs::perms(0555));
    corlith::TFileWrite inPlace, fresh;
    std::thread([&] {
        DropOverrideForThisThread();
        inPlace = corlith::WriteFileWhole((dir_ / "kept.txt").string(), "replaced");
        fresh = corlith::WriteFileWhole((dir_ / "fresh.txt").string(), "x");
    }).join();
    fs::permissions(dir_, fs::perms(0755));
    EXPECT_TRUE(inPlace.Ok()) << inPlace.error;
    EXPECT_EQ(Read(dir_ / "kept.txt"), "replaced");
    EXPECT_EQ(fresh.failure, corlith::TFileWrite::Create);
    EXPECT_EQ(fresh.error, EACCES);
    EXPECT_EQ(Temporaries(), std::vector<std::string>{});
}

TEST_F(FileWriter, FileSizeLimitIsAnErrorThatKeepsTheEarlierFile) {
    // Both ways of writing: through a temporary, and in place over a hard-linked file.
    Write(dir_ / "a.txt", "earlier");
    Write(dir_ / "b.txt", "earlier");
    fs::create_hard_link(dir_ / "b.txt", dir_ / "b2.txt");
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 512;
    auto previous = std::signal(SIGXFSZ, SIG_DFL);  // the default ends the process
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const std::string big(4096, 'x');
    const corlith::TFileWrite a = corlith::WriteFileWhole((dir_ / "a.txt").string(), big);
    const corlith::TFileWrite b = corlith::WriteFileWhole((dir_ / "b.txt").string(), big);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    for (const corlith::TFileWrite& r : {a, b}) {
        EXPECT_EQ(r.failure, corlith::TFileWrite::Write);
        EXPECT_EQ(r.error, EFBIG);
    }
    EXPECT_EQ(corlith::FileWriteReason(a), "文件超出允许的大小");
    EXPECT_EQ(Read(dir_ / "a.txt"), "earlier");
    EXPECT_EQ(Temporaries(), std::vector<std::string>{});
}

TEST_F(FileWriter, BatchReplacesTargetsOnlyAtCommitAndAnAbandonedBatchLeavesThemAsTheyWere) {
    Write(dir_ / "a.txt", "earlier");
    fs::create_directory(dir_ / "sub");
    {
        corlith::TFileBatch abandoned;
        EXPECT_TRUE(corlith::WriteFileWhole((dir_ / "a.txt").string(), "first").Ok());
        EXPECT_EQ(abandoned.Staged(), 1u);
        EXPECT_EQ(Read(dir_ / "a.txt"), "earlier");
    }
    EXPECT_EQ(Read(dir_ / "a.txt"), "earlier");
    EXPECT_EQ(Temporaries(), std::vector<std::string>{});

    corlith::TFileBatch batch;
    EXPECT_TRUE(corlith::WriteFileWhole((dir_ / "a.txt").string(), "second").Ok());
    EXPECT_TRUE(corlith::WriteFileWhole((dir_ / "sub" / "b.txt").string(), "new").Ok());
    EXPECT_FALSE(fs::exists(dir_ / "sub" / "b.txt"));
    // A target that turns into a folder before the commit fails alone.
    fs::create_directory(dir_ / "sub" / "b.txt");
    fs::create_directory(dir_ / "sub" / "b.txt" / "inside");
    const auto outcomes = batch.Commit();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].second.Ok());
    EXPECT_EQ(outcomes[1].first, (dir_ / "sub" / "b.txt").string());
    EXPECT_EQ(outcomes[1].second.failure, corlith::TFileWrite::Create);
    EXPECT_EQ(Read(dir_ / "a.txt"), "second");
    EXPECT_EQ(batch.Staged(), 0u);
    EXPECT_EQ(Temporaries(), std::vector<std::string>{});
}
