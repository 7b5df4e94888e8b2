#pragma once
// Opening zelsend's decoders (the input's TextDecoder, --follow's FollowDecoder) on a code page,
// so that the reason a decoder gives for refusing one shows in the failure.
#include <gtest/gtest.h>

#include <string>

// Why `decoder` refuses to open on `codePage`; empty when it opens.
template <class Decoder>
std::string OpenRefusal(Decoder& decoder, unsigned codePage)
{
    std::string error;
    return decoder.Open(codePage, error) ? std::string() : "refused: " + error;
}

// Success when `decoder` refuses `codePage` with a reason that names it.
template <class Decoder>
testing::AssertionResult RefusesCodePage(Decoder& decoder, unsigned codePage)
{
    const std::string refusal = OpenRefusal(decoder, codePage);
    if (refusal.find(std::to_string(codePage)) != std::string::npos)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << (refusal.empty() ? "opened" : refusal);
}
