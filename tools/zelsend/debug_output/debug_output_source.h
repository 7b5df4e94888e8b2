#pragma once
// --debug-output: sends what every program of this Windows session writes with
// OutputDebugStringA or OutputDebugStringW, until stopped. It reads the system's one debug-output
// buffer (DBWIN_BUFFER), which only one program at a time can read.
#include "common/line_rules.h"
#include "common/options.h"
#include "zel_log_client.h"

#include <atomic>

namespace zelsend {

// Returns the exit code once `stop` is set; 1 at once when another program reads the buffer,
// 2 on a system without it.
int RunDebugOutput(const Options& options, const LineRules& rules, zel::LogClient& client,
                   const std::atomic<bool>& stop);

} // namespace zelsend
