#pragma once
// Text that has arrived for the log view but is not in it yet. Appending to the view costs
// tens of milliseconds whatever the size, so texts are gathered here and moved in slices, each
// sized from what the last append cost, so that the window stays responsive between slices.
#include <cstddef>
#include <cstdint>
#include <deque>

#include "platform/cstring.h"

class CPendingLog {
public:
    static constexpr size_t kMinSlice = 4 * 1024;
    static constexpr size_t kMaxSlice = 1024 * 1024;
    // What one append may cost, in milliseconds, for the window to answer promptly.
    static constexpr double kTargetMs = 65.0;
    // With this much waiting, connections stop reading: the senders wait instead of the
    // console's memory growing with text it cannot show yet. They read again below half.
    static constexpr size_t kHighWater = 1024 * 1024;

    // Returns true when the queue was empty before, i.e. nobody has been asked to flush yet.
    bool Add(CString text);
    bool Empty() const { return m_texts.empty(); }
    size_t Chars() const { return m_chars; }
    bool Full() const { return m_chars >= kHighWater; }
    bool HasRoom() const { return m_chars < kHighWater / 2; }

    // Whole texts, in order, up to the current slice size or `most`, whichever is less (at
    // least one text).
    CString TakeSlice(size_t most = SIZE_MAX);
    // The most that the next TakeSlice(most) can return.
    size_t NextSliceChars(size_t most = SIZE_MAX) const;
    // Everything that is waiting, in order.
    CString TakeAll();
    void Clear();

    // Adjusts the slice size from the cost of the last append of a slice, so that appends cost
    // about kTargetMs.
    void RecordAppend(size_t chars, double milliseconds);
    size_t SliceChars() const { return m_sliceChars; }

private:
    CString Take(size_t budget);

    std::deque<CString> m_texts;
    size_t m_chars = 0;
    size_t m_sliceChars = 64 * 1024;
};
