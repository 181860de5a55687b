// The library side of the test-control API: what the database and message code consult.
#pragma once

#include "corlith_test.h"

#include <optional>
#include <string>

namespace corlith::testctl {

void LogStatement(const std::string& statement);
void LogStep(const std::string& entry);   // "BEGIN", "COMMIT", "ROLLBACK", "POST <table>"
// An armed failure that this call of the point triggers, if any (its error text).
std::optional<std::string> TakeFailure(test::FailPoint point, const std::string& statement = std::string());

bool Recording();
void Record(test::MessageKind kind, int number, const std::string& param, const std::string& text);
bool NextConfirmAnswer();

void Reset();

}  // namespace corlith::testctl
