// Linked into every Windows test program: the consoles, zelsend runs and writers a test starts
// end when the test does, however it ends. Under Wine a child is no Unix child of the test (Wine
// starts it apart), so when ctest stops a test that ran past its time, nothing else would end
// the console it left: it would keep its port and hold ctest's output pipe, and ctest would
// wait for it for good. The test's job closes with its last handle, and Wine then ends every
// process in the job.
#include <windows.h>

#include <cstdio>

namespace {

HANDLE JobThatEndsItsProcesses()
{
    HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (!job)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !::AssignProcessToJobObject(job, ::GetCurrentProcess())) {
        ::CloseHandle(job);
        return nullptr;
    }
    return job;
}

// Held until the process ends: the system closes it then, and the job's processes go with it.
const HANDLE g_job = [] {
    const HANDLE job = JobThatEndsItsProcesses();
    if (!job)
        std::fprintf(stderr, "warning: the processes this test starts may outlive it (error %lu)\n", ::GetLastError());
    return job;
}();

} // namespace
