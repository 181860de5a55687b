#include "test_control.h"

#include <algorithm>
#include <ctime>
#include <deque>
#include <mutex>
#include <vector>

namespace corlith::testctl {
namespace {

struct ArmedFailure {
    test::FailPoint point;
    int remaining;
    std::string error;
    std::string containing;
};

struct State {
    bool recording = false;
    bool logging = false;   // the statement log costs memory on every statement: off unless a test asks
    std::vector<test::ShownMessage> messages;
    std::deque<bool> answers;
    std::vector<std::string> log;
    std::vector<bool> isStep;   // parallel to log: BEGIN/COMMIT/ROLLBACK/POST entries
    std::vector<ArmedFailure> failures;
};

State& state() {
    static State s;
    return s;
}

// Statements also run on reader connections of other threads: what they touch here is taken
// under this lock.
std::mutex& statementLock() {
    static std::mutex m;
    return m;
}

}  // namespace

void LogStatement(const std::string& statement) {
    if (!state().logging) return;
    const std::lock_guard<std::mutex> hold(statementLock());
    state().log.push_back(statement);
    state().isStep.push_back(false);
}

void LogStep(const std::string& entry) {
    if (!state().logging) return;
    const std::lock_guard<std::mutex> hold(statementLock());
    state().log.push_back(entry);
    state().isStep.push_back(true);
}

std::optional<std::string> TakeFailure(test::FailPoint point, const std::string& statement) {
    const std::lock_guard<std::mutex> hold(statementLock());
    auto& failures = state().failures;
    std::optional<std::string> hit;
    for (auto it = failures.begin(); it != failures.end();) {
        const bool counts = it->point == point &&
                            (point != test::FailPoint::Statement || it->containing.empty() ||
                             statement.find(it->containing) != std::string::npos);
        if (counts && --it->remaining <= 0) {
            if (!hit) hit = it->error;
            it = failures.erase(it);
            continue;
        }
        ++it;
    }
    return hit;
}

bool Recording() { return state().recording; }

void Record(test::MessageKind kind, int number, const std::string& param, const std::string& text) {
    state().messages.push_back(test::ShownMessage{kind, number, param, text});
}

bool NextConfirmAnswer() {
    auto& answers = state().answers;
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

void Reset() {
    const std::lock_guard<std::mutex> hold(statementLock());
    state() = State();
}

}  // namespace corlith::testctl

namespace corlith::test {

void EnableRecording(bool on) { testctl::state().recording = on; }
const std::vector<ShownMessage>& Messages() { return testctl::state().messages; }
void ClearMessages() { testctl::state().messages.clear(); }
void QueueConfirmAnswer(bool answer) {
    try {
        testctl::state().answers.push_back(answer);
    } catch (...) {
    }
}

void EnableStatementLog(bool on) { testctl::state().logging = on; }

const std::vector<std::string>& StatementLog() { return testctl::state().log; }

std::vector<std::string> StatementsOnly() {
    std::vector<std::string> out;
    try {
        const auto& s = testctl::state();
        for (size_t i = 0; i < s.log.size(); ++i)
            if (!s.isStep[i]) out.push_back(s.log[i]);
    } catch (...) {
    }
    return out;
}

void ClearStatementLog() {
    const std::lock_guard<std::mutex> hold(testctl::statementLock());
    testctl::state().log.clear();
    testctl::state().isStep.clear();
}

void FailAt(FailPoint point, int occurrence, const std::string& error, const std::string& containing) {
    try {
        const std::lock_guard<std::mutex> hold(testctl::statementLock());
        testctl::state().failures.push_back({point, std::max(occurrence, 1), error, containing});
    } catch (...) {
    }
}

void ClearFailures() {
    const std::lock_guard<std::mutex> hold(testctl::statementLock());
    testctl::state().failures.clear();
}

}  // namespace corlith::test

namespace corlith {
namespace {

std::string& stoppedClock() {
    static std::string setting;
    return setting;
}

}  // namespace
}  // namespace corlith

std::string GetHostNow() {
    try {
        if (!corlith::stoppedClock().empty()) return corlith::stoppedClock();
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        return text;
    } catch (...) {
        return std::string();
    }
}

namespace corlith::test {

bool SetClock(const std::string& dateTime) {
    try {
        if (dateTime.empty()) {
            stoppedClock().clear();
            return true;
        }
        const std::string full = dateTime.size() == 10 ? dateTime + " 00:00:00" : dateTime;
        std::tm parts{};
        const char* end = ::strptime(full.c_str(), "%Y-%m-%d %H:%M:%S", &parts);
        if (full.size() != 19 || !end || *end) return false;
        // A date the calendar lacks (2027-02-29) comes back normalised: refuse it.
        std::tm check = parts;
        check.tm_isdst = -1;
        if (std::mktime(&check) == -1 || check.tm_mday != parts.tm_mday || check.tm_mon != parts.tm_mon) return false;
        stoppedClock() = full;
        return true;
    } catch (...) {
        return false;
    }
}

std::string ClockSetting() {
    try {
        return stoppedClock();
    } catch (...) {
        return std::string();
    }
}

}  // namespace corlith::test
