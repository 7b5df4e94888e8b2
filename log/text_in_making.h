#pragma once
// Text for the log view that takes more than one step to make, such as a large frame's payload
// still being decoded: it waits in its place among the texts for the view, so that what came
// before it shows before it and what came after it shows after it, and each step of making it
// stays short. log/ knows nothing of payloads: a text in making is only these steps.
#include <cstddef>

#include "platform/cstring.h"

class CTextInMaking {
public:
    virtual ~CTextInMaking() = default;

    // Makes the next bounded part of the text. True once the whole text is made.
    virtual bool Step() = 0;
    // The text once made; empty when there is nothing to show.
    virtual CString Take() = 0;
    // The whole text as it will be, made at once, leaving this one as it was (a save needs it now).
    virtual CString Whole() const = 0;
    // Memory it holds now, in bytes.
    virtual size_t HeldBytes() const = 0;
    // The most characters the text can come to.
    virtual size_t MostChars() const = 0;
};
