#pragma once
// Text that has arrived for the log view but is not in it yet. Appending to the view costs
// tens of milliseconds whatever the size, so texts are gathered here and moved in slices, each
// sized from what the last append cost, so that the window stays responsive between slices.
// The control wraps a run of text without line breaks at a cost that grows with the square of
// the run one append carries, so a slice also holds back long runs: a text is cut between
// slices wherever that is safe, however long it is.
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
    // The longest unbroken run one append may carry, learned like the slice within these bounds.
    // Past about 2 Mi characters of run in the view, an append costs more than the target
    // whatever its size (the control's cost grows with the run it appends to), and the limit
    // comes down to kMinRun. Below 1 Ki an append grows hardly cheaper (256 characters cost a
    // fifth less than 1 Ki at 2 Mi, an eighth less at 4 Mi) while the run would show four times
    // more slowly.
    static constexpr size_t kMinRun = 1024;
    static constexpr size_t kMaxRun = 32 * 1024;
    // Lines up to this long wrap at a cost that the per-character part already covers.
    static constexpr size_t kShortRun = 512;
    // What one append may cost, in milliseconds, for the window to answer promptly.
    static constexpr double kTargetMs = 65.0;
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
    // whichever is less, and with its unbroken runs within the learned limit; cut at a safe
    // place (at least one character, unless the first text is in making: then nothing).
    CString TakeSlice(size_t most = SIZE_MAX);
    // The most that the next TakeSlice(most) can return.
    size_t NextSliceChars(size_t most = SIZE_MAX) const;
    // Everything that is waiting, in order, left in the queue (texts in making as they will be).
    CString Peek() const;
    void Clear();

    // Adjusts the limits from the cost of the append of the last slice taken, so that appends
    // cost about kTargetMs: the run limit when the slice's long runs made most of its weight,
    // else the slice size.
    void RecordAppend(size_t chars, double milliseconds);
    size_t SliceChars() const { return m_sliceChars; }
    size_t RunChars() const { return m_runChars; }

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
    size_t m_runChars = 4 * 1024;
    double m_lastRunWeight = 0; // sum of the squares of the long runs of the last slice
};
