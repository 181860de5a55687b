// The test-control API of the host library: record what the module shows and runs, answer
// confirmations, and make a chosen database step fail. Never used by the module.
#pragma once

#include "../host/corlith_api.h"

#include <deque>

namespace corlith::test {

enum class MessageKind { InforMsg, InfoMsgBox, Confirm };

struct ShownMessage {
    MessageKind kind;
    int number;             // 0 for InfoMsgBox and ConfirmMsgBoxA
    std::string param;      // GBK
    std::string text;       // GBK, as the user would read it
};

enum class FailPoint { Begin, Statement, Post, Commit };

// While enabled, message boxes are recorded instead of shown and confirmations are answered
// from the queue (an empty queue answers "no").
CORLITH_API void EnableRecording(bool on);
CORLITH_API const std::vector<ShownMessage>& Messages();
CORLITH_API void ClearMessages();
CORLITH_API void QueueConfirmAnswer(bool answer);

// While enabled (off at start and after ResetHost), every statement handed to ExecADOQueryMsg
// is logged as the module built it (GBK), in order, with "BEGIN", "COMMIT", "ROLLBACK" and
// "POST <table>" for the other database steps.
CORLITH_API void EnableStatementLog(bool on);
CORLITH_API const std::vector<std::string>& StatementLog();
CORLITH_API std::vector<std::string> StatementsOnly();   // the log without the other steps
CORLITH_API void ClearStatementLog();

// The occurrence-th call (1 = the next one) of the point from now on fails with the error
// text, as given: an empty text stands for a host that reports no reason. For Statement, only
// statements containing `containing` are counted (empty: all).
CORLITH_API void FailAt(FailPoint point, int occurrence, const std::string& error = "injected failure",
                        const std::string& containing = std::string());
CORLITH_API void ClearFailures();

// Whether the connection has an open transaction.
CORLITH_API bool InTransaction(const std::string& connection);

// How SQLite runs the connection: whether it serialises every call with a mutex, and whether
// it keeps global memory statistics.
CORLITH_API bool ConnectionSerialised(const std::string& connection);
CORLITH_API bool EngineCountsMemory();
// What the host sets on every SQLite connection it opens, as statements: a benchmark's floor
// runs the engine as the host configures it.
CORLITH_API const char* SqliteSettings();

// Whether the connections' LIKE matches the UTF-8 text against the pattern (escape 0: none);
// with eachCodePoint, through the matcher that decodes every character, never a shortcut.
CORLITH_API bool LikeMatches(const std::string& pattern, const std::string& text, char32_t escape,
                             bool eachCodePoint);

// Stops the host's clock at a local time, "yyyy-MM-dd hh:mm:ss" or "yyyy-MM-dd" (midnight);
// an empty text lets it run again. Any other text is refused (false) and changes nothing.
// ResetHost leaves the clock as it is.
CORLITH_API bool SetClock(const std::string& dateTime);
CORLITH_API std::string ClockSetting();   // as set, in the long form; empty while it runs

// The help page last registered with SetgsHelpHtml.
CORLITH_API std::string HelpHtml();

}  // namespace corlith::test
