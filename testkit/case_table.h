#pragma once
// A table of cases run in one test: each case is checked in turn, and a failure names the case
// (its `name`), so a table needs neither a fixture class nor an instantiation of its own. A case
// without a `name` is named by its value when it is a number, else by its place in the table.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>

namespace testkit_detail {

template <class C, class = void>
struct HasName : std::false_type {
};
template <class C>
struct HasName<C, std::void_t<decltype(std::declval<const C&>().name)>> : std::true_type {
};

template <class C>
std::string CaseLabel(const C& c, size_t index)
{
    if constexpr (HasName<C>::value)
        return c.name;
    else if constexpr (std::is_arithmetic_v<C>)
        return testing::PrintToString(c);
    else
        return "case " + std::to_string(index) + " (from 0)";
}

} // namespace testkit_detail

template <class Cases, class Check>
void ForEachCase(const Cases& cases, Check check)
{
    size_t index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testkit_detail::CaseLabel(c, index++));
        check(c);
    }
}
