// The one way the product writes a file: every file the module or the client writes goes
// through WriteFileWhole. Implemented by libcorlith.so.
#pragma once

#include "host/corlith_api.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corlith {

// How a whole-file write ended: the step that failed and the system's error number.
struct CORLITH_API TFileWrite {
    enum Failure { None, Create, Write, NotAFile };
    Failure failure = None;
    int error = 0;
    bool Ok() const { return failure == None; }
};

// Replaces the file at nativePath (the file system's own bytes, as QFile::encodeName gives
// them) with bytes. The bytes go to a temporary file beside the target, are flushed and
// renamed over it, so a failure leaves an earlier file as it was and no temporary behind.
// A symbolic link is followed (its target gets the bytes, the link stays); a file with
// several hard links, or one in a folder that takes no new file, is written in place with
// every write checked; a FIFO, device or folder is refused untouched. A file-size limit is
// an error (EFBIG), not a signal. A new file gets the mode 0666 less the umask; an existing
// file keeps its mode.
CORLITH_API TFileWrite WriteFileWhole(const std::string& nativePath, std::string_view bytes);
CORLITH_API TFileWrite WriteFileWhole(const QString& path, std::string_view bytes);

// Many files written as one: while a batch lives, a write of this thread that goes through a
// temporary file is left unflushed and unrenamed; Commit flushes them all with one syncfs per
// file system and then renames each over its target, so a target is still only ever replaced
// by a flushed file. A write in place (a file with several names) is done at once as always.
// A batch that ends uncommitted removes its temporaries and leaves every target as it was.
class CORLITH_API TFileBatch {
public:
    TFileBatch();
    ~TFileBatch();
    TFileBatch(const TFileBatch&) = delete;
    TFileBatch& operator=(const TFileBatch&) = delete;

    // The outcome per target as written (the path after following links), in write order;
    // the batch is empty afterwards and collects again.
    std::vector<std::pair<std::string, TFileWrite>> Commit();
    // How many writes wait for Commit.
    std::size_t Staged() const { return staged_.size(); }

private:
    friend TFileWrite WriteFileWhole(const std::string& nativePath, std::string_view bytes);
    struct TStaged {
        std::string temporary;
        std::string target;
    };
    void Stage(const std::string& temporary, const std::string& target);

    std::vector<TStaged> staged_;
    TFileBatch* outer_;
};

// Why a write failed, in Chinese (GBK): a FIFO, device or folder refused, or the system's
// reason for the error number.
CORLITH_API std::string FileWriteReason(const TFileWrite& result);
CORLITH_API std::string FileErrorText(int error);

// Runs work with SIGXFSZ held for the calling thread, so that a write beyond the file-size
// limit fails with EFBIG instead of ending the program; for libraries that write files of
// their own. True when a write met the limit meanwhile.
CORLITH_API bool HoldingFileSizeSignal(const std::function<void()>& work);

}  // namespace corlith
