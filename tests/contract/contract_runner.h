// Runs one contract's table of cases against one implementation: each case in a doctest subcase
// of its own (a failure ends only that case), the cases the implementation differs on left out
// with their reason, and one message with the counts.
#pragma once

#include <doctest/doctest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace zinna::contract {

// A case this implementation does not run, and the one line that says why it differs on purpose.
struct KnownDifference {
    std::string caseId;
    std::string why;
};

// Case is a struct with `const char* id` and `const char* behaviour`.
template <typename Case>
void RunCases(const char* contract, const std::string& implementation, std::span<const Case> cases,
              const std::vector<KnownDifference>& differences, const std::function<void(const Case&)>& runOne) {
    auto differenceFor = [&](const std::string& id) {
        return std::find_if(differences.begin(), differences.end(),
                            [&](const KnownDifference& difference) { return difference.caseId == id; });
    };
    for (const auto& difference : differences) {
        CAPTURE(difference.caseId);
        CHECK_MESSAGE(std::any_of(cases.begin(), cases.end(), [&](const Case& c) { return difference.caseId == c.id; }),
                      "a difference names no case");
    }
    std::size_t run = 0;
    std::ostringstream differing;
    for (const Case& c : cases) {
        if (const auto difference = differenceFor(c.id); difference != differences.end()) {
            differing << "\n  " << c.id << ": " << difference->why;
            continue;
        }
        ++run;
        SUBCASE(c.id) {
            INFO(implementation << ": " << std::string(c.behaviour));
            runOne(c);
        }
    }
    SUBCASE("count") {
        MESSAGE(std::string(contract) << " contract on " << implementation << ": " << cases.size() << " cases, " << run
                                      << " run, " << cases.size() - run << " differ on purpose" << differing.str());
    }
}

}  // namespace zinna::contract
