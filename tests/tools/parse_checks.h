#pragma once
// Reading zelsend's command line in the option tables: the parser's complaint shows in the
// failure, whichever way the case expects it to go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/options.h"

// Success when `args` are accepted; else a failure that says why the parser refused them.
inline testing::AssertionResult Parses(const std::vector<std::string>& args, zelsend::Options& options)
{
    std::string error;
    if (zelsend::ParseOptions(args, options, error))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "refused: " << error;
}

// A command line the parser must refuse, and part of the reason it must give.
struct Refusal {
    std::vector<std::string> args;
    std::string reason; // part of the message the user sees
};

// Success when `args` are refused with a reason that holds `reason`.
inline testing::AssertionResult RefusedSaying(const std::vector<std::string>& args, const std::string& reason)
{
    zelsend::Options options;
    std::string error;
    std::string line;
    for (const std::string& arg : args)
        line += " " + arg;
    if (zelsend::ParseOptions(args, options, error))
        return testing::AssertionFailure() << "accepted:" << line;
    if (error.find(reason) == std::string::npos)
        return testing::AssertionFailure() << "refused" << line << ", but saying: " << error;
    return testing::AssertionSuccess();
}
