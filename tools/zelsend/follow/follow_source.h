#pragma once
// --follow PATH: sends each line added to a file, as tail -F does, until stopped.
#include "common/line_rules.h"
#include "common/options.h"
#include "zel_log_client.h"

#include <atomic>

namespace zelsend {

// Looks at the file when its folder changes, and every 50 ms in any case, so a line shows well
// within 250 ms of being written; holds it open only while reading what is new. Says on
// standard error what it follows and with which patterns. Returns
// the exit code once `stop` is set, or at once when the options cannot be honoured.
int RunFollow(const Options& options, const LineRules& rules, zel::LogClient& client, const std::atomic<bool>& stop);

} // namespace zelsend
