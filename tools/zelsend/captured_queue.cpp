#include "captured_queue.h"

namespace zelsend {

bool CapturedQueue::Push(uint32_t pid, std::string text)
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (bytes_ + text.size() > maxBytes_ && !texts_.empty()) {
            ++dropped_;
            return false;
        }
        bytes_ += text.size();
        texts_.push_back({pid, std::move(text)});
        wake = waiting_;
        waiting_ = false;
    }
    if (wake)
        ready_.notify_one();
    return true;
}

bool CapturedQueue::Take(std::vector<CapturedText>& texts, uint64_t& dropped, std::chrono::milliseconds limit)
{
    texts.clear();
    std::unique_lock<std::mutex> lock(mutex_);
    if (texts_.empty() && dropped_ == 0 && !closed_) {
        waiting_ = true;
        ready_.wait_for(lock, limit, [this] { return !texts_.empty() || closed_; });
        waiting_ = false;
    }
    texts.swap(texts_);
    bytes_ = 0;
    dropped = dropped_;
    dropped_ = 0;
    return !(closed_ && texts.empty() && dropped == 0);
}

void CapturedQueue::Close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    ready_.notify_all();
}

} // namespace zelsend
