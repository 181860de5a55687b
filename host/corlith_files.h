// The one way the product writes a file: every file the module or the client writes goes
// through WriteFileWhole. Implemented by libcorlith.so.
#pragma once

#include "host/corlith_api.h"

#include <functional>
#include <string>
#include <string_view>

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

// Why a write failed, in Chinese (GBK): a FIFO, device or folder refused, or the system's
// reason for the error number.
CORLITH_API std::string FileWriteReason(const TFileWrite& result);
CORLITH_API std::string FileErrorText(int error);

// Runs work with SIGXFSZ held for the calling thread, so that a write beyond the file-size
// limit fails with EFBIG instead of ending the program; for libraries that write files of
// their own. True when a write met the limit meanwhile.
CORLITH_API bool HoldingFileSizeSignal(const std::function<void()>& work);

}  // namespace corlith
