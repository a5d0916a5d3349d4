// Tables of scripts run through the host's script runner, each row on a fresh built-in project
// (Main Comp: Title, Logo, Background; Lower Third: Name, Bar): the script's result or error,
// then what `after` reads in the same host (for a refusal: that nothing changed).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Catalog.h"
#include "core/Host.h"

namespace scriptrows {

// error: the message without "Error: " and " (line 1)"; empty: none.
struct Row {
    std::string script, result, error = "", after = "", afterResult = "";
};

// prefix: the variables and helpers each script and each `after` starts with.
inline void RunRows(const std::string& prefix, const std::vector<Row>& rows) {
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
        const auto outcome = host.RunScript(prefix + row.script);
        EXPECT_EQ(outcome.result, row.result);
        EXPECT_EQ(outcome.error, row.error.empty() ? "" : "Error: " + row.error + " (line 1)");
        if (!row.after.empty()) {
            EXPECT_EQ(host.RunScript(prefix + row.after).result, row.afterResult);
        }
    }
}

// The host's wordings of a refused write and a refused argument.
inline std::string Set(const std::string& attribute, const std::string& reason) {
    return "Unable to set \"" + attribute + "\". " + reason;
}
inline std::string Param(const std::string& method, int n, const std::string& reason) {
    return "Unable to call \"" + method + "\" because of parameter " + std::to_string(n) + ". " +
           reason;
}

}  // namespace scriptrows
