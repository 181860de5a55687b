// The steps of a write that the test host can make fail, for the cases that run once per step.
#pragma once

#include "corlith/corlith_test.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace testhost {

// One step: what fails (the transaction's begin, a statement, the post of a mark, the commit),
// which occurrence of it from now on, and for a statement a piece of its text ("" for any).
struct FaultStep {
    const char* name;
    corlith::test::FailPoint point;
    int occurrence;
    const char* containing;
};

// The steps of every write that marks the form filled; the statement steps are each write's own.
inline constexpr FaultStep kBeginStep{"Begin", corlith::test::FailPoint::Begin, 1, ""};
inline constexpr FaultStep kMarkSelectStep{"MarkSelect", corlith::test::FailPoint::Statement, 1, "_FPTXQKB"};
inline constexpr FaultStep kMarkPostStep{"MarkPost", corlith::test::FailPoint::Post, 1, ""};
inline constexpr FaultStep kCommitStep{"Commit", corlith::test::FailPoint::Commit, 1, ""};

// The occurrence-th statement holding the text.
constexpr FaultStep StatementStep(const char* name, int occurrence, const char* containing) {
    return {name, corlith::test::FailPoint::Statement, occurrence, containing};
}

// Makes the step fail with the error "injected"; containing stands in for the step's own text.
inline void ArmFault(const FaultStep& step, const std::string& containing) {
    corlith::test::FailAt(step.point, step.occurrence, "injected", containing);
}
inline void ArmFault(const FaultStep& step) { ArmFault(step, step.containing); }

// A case: the step and what the case expects when it fails.
template <typename Expected>
struct FaultCase {
    FaultStep step;
    Expected expected;
};

// gtest prints a case parameter as its step's name.
inline void PrintTo(const FaultStep& step, std::ostream* os) { *os << step.name; }
template <typename Expected>
void PrintTo(const FaultCase<Expected>& c, std::ostream* os) {
    *os << c.step.name;
}

// Names each instantiated case after its step.
struct StepName {
    std::string operator()(const ::testing::TestParamInfo<FaultStep>& info) const { return info.param.name; }
    template <typename Expected>
    std::string operator()(const ::testing::TestParamInfo<FaultCase<Expected>>& info) const {
        return info.param.step.name;
    }
};

}  // namespace testhost
