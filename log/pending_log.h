#pragma once
// Text that has arrived for the log view but is not in it yet. Appending to the view costs
// tens of milliseconds whatever the size, so texts are gathered here and moved in slices, each
// sized from what the last append cost, so that one append keeps to the flush step's budget of
// the window's thread (CThreadTurns::kAppendStepMs) and the window answers between slices.
// A text is cut between slices wherever that is safe, however long it is. Text without line
// breaks needs no care of its own here: the view ends its rows itself (log/view_rows.h), so
// that it costs what lines cost.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "log/text_in_making.h"
#include "platform/cstring.h"

class CPendingLog {
public:
    static constexpr size_t kMinSlice = 4 * 1024;
    static constexpr size_t kMaxSlice = 1024 * 1024;
    // With this much waiting, connections stop reading: the senders wait instead of the
    // console's memory growing with text it cannot show yet. They read again below half.
    static constexpr size_t kHighWater = 1024 * 1024;

    // Queues a text; an empty one changes nothing. Returns true when the queue was empty before,
    // i.e. nobody has been asked to flush yet.
    bool Add(CString text);
    // Queues a text still in making; it holds back every text behind it until it is made.
    bool Add(std::unique_ptr<CTextInMaking> making);
    bool Empty() const { return m_texts.empty(); }
    // Characters of the texts made, waiting.
    size_t Chars() const { return m_chars; }
    // A text in making counts as the most characters it can come to.
    bool Full() const { return m_chars + m_makingChars >= kHighWater; }
    bool HasRoom() const { return m_chars + m_makingChars < kHighWater / 2; }

    // Whether the first text is still in making: the next step makes more of it, not a slice.
    bool MakingFirst() const { return !m_texts.empty() && m_texts.front().making; }
    // Makes the next part of the first text; once made it waits as any text (or goes, if empty).
    void MakeStep();
    // Memory that texts in making hold, in bytes.
    size_t MakingBytes() const { return m_makingBytes; }

    // The next part of the waiting text, in order, at most the current slice size or `most`,
    // whichever is less; cut at a safe place (at least one character, unless the first text is
    // in making: then nothing).
    CString TakeSlice(size_t most = SIZE_MAX);
    // The most that the next TakeSlice(most) can return.
    size_t NextSliceChars(size_t most = SIZE_MAX) const;
    // Everything that is waiting, in order, left in the queue (texts in making as they will be).
    CString Peek() const;
    void Clear();

    // Adjusts the slice size from the cost of the append of the last slice taken, so that
    // appends cost about CThreadTurns::kAppendStepMs.
    void RecordAppend(size_t chars, double milliseconds);
    size_t SliceChars() const { return m_sliceChars; }

private:
    struct Waiting {
        CString text;
        std::unique_ptr<CTextInMaking> making; // set while the text is still in making
    };
    std::deque<Waiting> m_texts;
    size_t m_frontTaken = 0; // characters of the first text already taken by a slice
    size_t m_chars = 0;
    size_t m_makingChars = 0;
    size_t m_makingBytes = 0;
    size_t m_sliceChars = 64 * 1024;
};
