#pragma once
// A ceiling runs in a plain process of its own (this program, started again with other
// arguments), so that its memory and its thread are the control's and that process's alone.
#include <string>

namespace zelbench {

// Starts this program with `arguments`, waits for it to end and returns what it printed.
std::string RunBenchChild(const std::wstring& arguments);

} // namespace zelbench
