#include "host/corlith_files.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <system_error>

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corlith {
namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a chain of symbolic links ends at (existing or not), so that the bytes replace
// that file and the links stay links. Empty with errnoOut on a loop or bad link.
std::string FollowLinks(std::string path, int& errnoOut) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
            errnoOut = n < 0 ? errno : ENAMETOOLONG;
            return std::string();
        }
        target.resize(static_cast<std::size_t>(n));
        path = !target.empty() && target[0] == '/' ? target : FolderOf(path) + target;
    }
    errnoOut = ELOOP;
    return std::string();
}

// A short name beside the target whatever the target's own name length; unique through
// O_EXCL.
std::string TemporaryName(const std::string& folder) {
    static std::atomic<unsigned> counter{0};
    const unsigned mix = static_cast<unsigned>(::getpid()) * 2654435761u ^ counter++ * 40503u ^
                         static_cast<unsigned>(std::time(nullptr));
    char name[32];
    std::snprintf(name, sizeof name, ".vt%08x.tmp", mix);
    return folder + name;
}

bool WriteAll(int fd, std::string_view bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

// While this lives the signal is held for the calling thread; one raised meanwhile is taken
// off before the earlier mask returns, so that it does not strike then.
class TFileSizeSignalHold {
public:
    TFileSizeSignalHold() {
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, SIGXFSZ);
        held_ = pthread_sigmask(SIG_BLOCK, &only, &previous_) == 0;
    }
    ~TFileSizeSignalHold() {
        if (!held_) return;
        sigset_t pending;
        if (!sigismember(&previous_, SIGXFSZ) && sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ)) {
            sigset_t only;
            sigemptyset(&only);
            sigaddset(&only, SIGXFSZ);
            const timespec now{0, 0};
            while (sigtimedwait(&only, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    TFileSizeSignalHold(const TFileSizeSignalHold&) = delete;
    TFileSizeSignalHold& operator=(const TFileSizeSignalHold&) = delete;

private:
    sigset_t previous_{};
    bool held_ = false;
};

TFileWrite Failed(TFileWrite::Failure failure, int error) { return TFileWrite{failure, error}; }

thread_local TFileBatch* currentBatch = nullptr;

// Writes bytes over the existing regular file at target, keeping its inode (and so every
// hard link to it). Opened without blocking so that a FIFO put there meanwhile cannot hang.
TFileWrite WriteInPlace(const std::string& target, std::string_view bytes) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Failed(TFileWrite::Create, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Failed(TFileWrite::NotAFile, 0);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!WriteAll(fd, bytes) || ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        return Failed(TFileWrite::Write, saved);
    }
    if (::close(fd) != 0) return Failed(TFileWrite::Write, errno);
    return TFileWrite{};
}

}  // namespace

TFileWrite WriteFileWhole(const std::string& nativePath, std::string_view bytes) {
    int linkError = 0;
    const std::string target = FollowLinks(nativePath, linkError);
    if (target.empty()) return Failed(TFileWrite::Create, linkError ? linkError : ENOENT);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) return Failed(TFileWrite::Create, EISDIR);
    if (exists && !S_ISREG(existing.st_mode)) return Failed(TFileWrite::NotAFile, 0);

    const TFileSizeSignalHold signalHold;
    // Renaming a new file over one with several names would part it from the others.
    if (exists && existing.st_nlink > 1) return WriteInPlace(target, bytes);

    std::string temporary;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = TemporaryName(FolderOf(target));
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int saved = errno;
        // A folder that takes no new file may still hold a file that can be written.
        if (exists) return WriteInPlace(target, bytes);
        return Failed(TFileWrite::Create, saved);
    }

    const auto fail = [&](TFileWrite::Failure failure, int error) {
        ::unlink(temporary.c_str());
        return Failed(failure, error);
    };
    if (exists) ::fchmod(fd, existing.st_mode & 07777);
    if (currentBatch) {
        if (!WriteAll(fd, bytes)) {
            const int saved = errno;
            ::close(fd);
            return fail(TFileWrite::Write, saved);
        }
        if (::close(fd) != 0) return fail(TFileWrite::Write, errno);
        currentBatch->Stage(temporary, target);
        return TFileWrite{};
    }
    if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        return fail(TFileWrite::Write, saved);
    }
    if (::close(fd) != 0) return fail(TFileWrite::Write, errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0) return fail(TFileWrite::Create, errno);
    return TFileWrite{};
}

TFileBatch::TFileBatch() : outer_(currentBatch) { currentBatch = this; }

TFileBatch::~TFileBatch() {
    for (const TStaged& s : staged_) ::unlink(s.temporary.c_str());
    currentBatch = outer_;
}

void TFileBatch::Stage(const std::string& temporary, const std::string& target) { staged_.push_back({temporary, target}); }

std::vector<std::pair<std::string, TFileWrite>> TFileBatch::Commit() {
    std::vector<std::pair<std::string, TFileWrite>> outcomes;
    std::vector<TStaged> staged;
    staged.swap(staged_);
    // One flush per file system holding a temporary; a failed flush fails every file on it.
    std::vector<std::pair<dev_t, int>> flushed;
    for (const TStaged& s : staged) {
        struct stat st {};
        TFileWrite result;
        if (::stat(s.temporary.c_str(), &st) != 0) {
            result = Failed(TFileWrite::Write, errno);
        } else {
            auto it = std::find_if(flushed.begin(), flushed.end(), [&](const auto& f) { return f.first == st.st_dev; });
            if (it == flushed.end()) {
                const int fd = ::open(s.temporary.c_str(), O_RDONLY | O_CLOEXEC);
                const int error = fd < 0 ? errno : (::syncfs(fd) != 0 ? errno : 0);
                if (fd >= 0) ::close(fd);
                it = flushed.insert(flushed.end(), {st.st_dev, error});
            }
            if (it->second != 0) result = Failed(TFileWrite::Write, it->second);
            else if (::rename(s.temporary.c_str(), s.target.c_str()) != 0) result = Failed(TFileWrite::Create, errno);
        }
        if (!result.Ok()) ::unlink(s.temporary.c_str());
        outcomes.emplace_back(s.target, result);
    }
    return outcomes;
}

TFileWrite WriteFileWhole(const QString& path, std::string_view bytes) {
    const QByteArray native = QFile::encodeName(path);
    return WriteFileWhole(std::string(native.constData(), static_cast<std::size_t>(native.size())), bytes);
}

bool HoldingFileSizeSignal(const std::function<void()>& work) {
    const TFileSizeSignalHold signalHold;
    work();
    sigset_t pending;
    return sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ);
}

std::string FileErrorText(int error) {
    switch (error) {
    case ENOENT: return "文件夹不存在";
    case ENOTDIR: return "路径中的某一级不是文件夹";
    case EISDIR: return "该路径是一个文件夹";
    case EACCES:
    case EPERM: return "没有访问权限";
    case EROFS: return "文件系统为只读";
    case ENOSPC:
    case EDQUOT: return "磁盘空间不足";
    case ENAMETOOLONG: return "路径过长";
    case EFBIG: return "文件超出允许的大小";
    default: return std::error_code(error, std::generic_category()).message();
    }
}

std::string FileWriteReason(const TFileWrite& result) {
    if (result.failure == TFileWrite::NotAFile) return "该路径不是普通文件（如管道或设备），未作改动";
    return FileErrorText(result.error);
}

}  // namespace corlith
