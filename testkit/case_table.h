#pragma once
// A table of cases run in one test: each case is checked in turn, and a failure names the case
// (its `name`), so a table needs neither a fixture class nor an instantiation of its own.
#include <gtest/gtest.h>

#include <cstddef>

template <class Cases, class Check>
void ForEachCase(const Cases& cases, Check check)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        check(c);
    }
}
