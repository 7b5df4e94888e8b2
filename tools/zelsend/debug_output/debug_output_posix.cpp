#include "debug_output/debug_output_source.h"

#include "common/exit_codes.h"

namespace zelsend {

int RunDebugOutput(const Options&, const LineRules&, zel::LogClient&, const std::atomic<bool>&)
{
    return Fail("--debug-output reads what Windows programs write with OutputDebugString: it runs on Windows only",
                kExitUsage);
}

} // namespace zelsend
