// The contract of ZinnaModule: what every implementation of the operating-system functions must
// answer, written once as a table of cases (zinna_module_contract.cpp) and run against each
// implementation from that same source.
//
// An implementation joins by one registration file of its own (see sim_desktop_registration.cpp):
//
//     ZINNA_MODULE_CONTRACT(ZinnaModuleRegistration{
//         "the Linux desktop",
//         [] { return ...a fresh implementation, with kContractKey existing and empty...; },
//         {{"taskbar-found-by-class", "one line: why this implementation differs on purpose"}},
//     });
//
// and one line in the CMakeLists that builds its tests (zinna_add_module_contract).
#pragma once

#include "contract/contract_runner.h"
#include "boundary/zinna_module.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zinna::contract {

// The key, under HKEY_CURRENT_USER, that the registry cases write in. A fresh implementation has it
// existing and empty; the cases leave everything else as they found it.
inline constexpr char kContractKey[] = "Software\\Zinna Tests\\Contract";

struct ZinnaModuleRegistration {
    std::string implementation;
    // A fresh implementation for each case. Whatever it needs besides the module (a trace, a key
    // to remove afterwards) lives as long as the returned pointer.
    std::function<std::shared_ptr<ZinnaModule>()> makeFresh;
    std::vector<KnownDifference> differences;
    // The key the registry cases write in: kContractKey, unless the implementation keeps no key
    // but its own (then a key of its own whose other values start empty).
    std::string registryKey = kContractKey;
};

// Runs every case against the registration, one doctest subcase each, and prints the count.
void RunZinnaModuleContract(const ZinnaModuleRegistration& registration);

}  // namespace zinna::contract

#define ZINNA_MODULE_CONTRACT(...) \
    TEST_CASE("ZinnaModule contract") { ::zinna::contract::RunZinnaModuleContract(__VA_ARGS__); }
