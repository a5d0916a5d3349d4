// The error every host-suite failure is reported with: an int exception of value 516.
#pragma once

constexpr int kMissingSuiteError = 516;

// Throws kMissingSuiteError; never returns.
[[noreturn]] void MissingSuiteError();
