// A transaction on one of the host's connections that cannot be left open: it begins when
// made and rolls back when it goes out of scope without a successful Commit.
#pragma once

#include "host/corlith_api.h"

#include <string>
#include <utility>

class THostTransaction {
public:
    // Begins on the connection; when the host refuses, Active() is false and error says why.
    THostTransaction(std::string connection, std::string& error) : connection_(std::move(connection)) {
        active_ = DBBeginTrans(connection_, error);
    }
    ~THostTransaction() {
        if (!active_) return;
        std::string ignored;
        DBRollbackTrans(connection_, ignored);
    }
    THostTransaction(const THostTransaction&) = delete;
    THostTransaction& operator=(const THostTransaction&) = delete;

    bool Active() const { return active_; }

    // After a failed commit the transaction is rolled back all the same.
    bool Commit(std::string& error) {
        if (!active_) return false;
        if (!DBCommitTrans(connection_, error)) return false;
        active_ = false;
        return true;
    }

private:
    std::string connection_;
    bool active_ = false;
};
