#pragma once
// The syslog relay: takes syslog messages over UDP and TCP, as rsyslog, syslog-ng and Python's
// SysLogHandler send them, and hands each to the console as one line.
#include "common/line_rules.h"
#include "common/options.h"

#include <atomic>

namespace zel {
class LogClient;
}

namespace zelsend {

// Listens where `options` says (syslogUdp, syslogTcp) until `stop` is set, sending every
// message through `client`. Returns 0 once stopped, 1 when it cannot listen. What it had to
// drop (datagrams the system lost before they were read, connections past the limit) is shown
// in the console as a line of its own and counted again on standard error at the end.
int RunSyslogRelay(const Options& options, const LineRules& rules, zel::LogClient& client,
                   const std::atomic<bool>& stop);

} // namespace zelsend
