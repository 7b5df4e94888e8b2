#include "debug_output/captured_queue.h"

namespace zelsend {

bool CapturedQueue::Push(uint32_t pid, std::string text, std::chrono::system_clock::time_point at)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (bytes_ + text.size() > maxBytes_ && !texts_.empty()) {
        ++dropped_;
        return false;
    }
    bytes_ += text.size();
    texts_.push_back({pid, std::move(text), at});
    return true;
}

bool CapturedQueue::Take(std::vector<CapturedText>& texts, uint64_t& dropped, std::chrono::milliseconds pause)
{
    texts.clear();
    std::unique_lock<std::mutex> lock(mutex_);
    if (texts_.empty() && dropped_ == 0 && !closed_)
        closing_.wait_for(lock, pause, [this] { return closed_; });
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
    closing_.notify_all();
}

} // namespace zelsend
