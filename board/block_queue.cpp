// Block hand-over in production order, with clean drops when the consumer falls a minute behind.
#include "board/block_queue.h"

#include <algorithm>
#include <new>

namespace vboard {

bool BlockQueue::allocate(std::size_t blocks, std::size_t values)
{
    std::lock_guard lock(mutex_);
    buffers_.clear();
    free_.clear();
    ready_.clear();
    filling_ = held_ = -1;
    overrun_pending_ = false;
    delivered_ = dropped_ = 0;
    bound_ = blocks;
    values_ = values;
    try {
        if (fail_next_) {
            fail_next_ = false;
            throw std::bad_alloc();
        }
        // Reserved so that a buffer added later never moves the others' bookkeeping under a reader.
        buffers_.reserve(blocks);
        free_.reserve(blocks);
        for (std::size_t i = 0; i < std::min(blocks, kFirstBuffers); ++i) {
            buffers_.emplace_back(values, std::int16_t {0});
            free_.push_back(static_cast<int>(i));
        }
    } catch (const std::bad_alloc&) {
        buffers_.clear();
        buffers_.shrink_to_fit();
        free_.clear();
        bound_ = values_ = 0;
        return false;
    }
    return true;
}

void BlockQueue::release()
{
    std::lock_guard lock(mutex_);
    std::vector<std::vector<std::int16_t>>().swap(buffers_);
    bound_ = values_ = 0;
    free_.clear();
    ready_.clear();
    filling_ = held_ = -1;
}

bool BlockQueue::allocated() const
{
    std::lock_guard lock(mutex_);
    return !buffers_.empty();
}

std::size_t BlockQueue::values_per_block() const
{
    std::lock_guard lock(mutex_);
    return buffers_.empty() ? 0 : values_;
}

std::int16_t* BlockQueue::fill_buffer()
{
    std::unique_lock lock(mutex_);
    if (buffers_.empty()) return nullptr;
    if (filling_ < 0) {
        if (free_.empty() && buffers_.size() < bound_) {
            // Behind, with room to grow: a new buffer, made without holding up the consumer. Only this
            // thread adds buffers, and the queue is not reallocated while it runs.
            const std::size_t values = values_;
            lock.unlock();
            std::vector<std::int16_t> fresh;
            bool made = true;
            try {
                fresh.assign(values, 0);
            } catch (const std::bad_alloc&) {
                made = false;  // no memory now: the oldest ready block makes room as it would at the bound
            }
            lock.lock();
            if (made && buffers_.size() < bound_ && values == values_) {
                buffers_.push_back(std::move(fresh));
                free_.push_back(static_cast<int>(buffers_.size() - 1));
            }
        }
        if (free_.empty() && !ready_.empty()) {
            // The consumer is a whole queue behind: the oldest block goes.
            free_.push_back(ready_.front().buffer);
            ready_.pop_front();
            ++dropped_;
            if (!ready_.empty()) ready_.front().error = kOverrunError;
            else overrun_pending_ = true;
        }
        if (free_.empty()) return nullptr;
        filling_ = free_.back();
        free_.pop_back();
    }
    return buffers_[static_cast<std::size_t>(filling_)].data();
}

void BlockQueue::publish(std::uint8_t error, std::uint8_t fill)
{
    std::lock_guard lock(mutex_);
    if (filling_ < 0) return;
    if (overrun_pending_) {
        error = kOverrunError;
        overrun_pending_ = false;
    }
    ready_.push_back(Entry {filling_, error, fill});
    filling_ = -1;
}

bool BlockQueue::ready() const
{
    std::lock_guard lock(mutex_);
    return !ready_.empty();
}

std::size_t BlockQueue::ready_count() const
{
    std::lock_guard lock(mutex_);
    return ready_.size();
}

bool BlockQueue::take(std::int16_t** data, std::uint8_t* error, std::uint8_t* fill)
{
    std::lock_guard lock(mutex_);
    if (ready_.empty()) return false;
    if (held_ >= 0) free_.push_back(held_);
    Entry e = ready_.front();
    ready_.pop_front();
    held_ = e.buffer;
    *data = buffers_[static_cast<std::size_t>(e.buffer)].data();
    *error = e.error;
    *fill = e.fill;
    ++delivered_;
    return true;
}

void BlockQueue::clear_ready()
{
    std::lock_guard lock(mutex_);
    for (const auto& e : ready_) free_.push_back(e.buffer);
    ready_.clear();
    overrun_pending_ = false;
}

std::uint64_t BlockQueue::delivered() const
{
    std::lock_guard lock(mutex_);
    return delivered_;
}

void BlockQueue::inject_allocation_failure()
{
    std::lock_guard lock(mutex_);
    fail_next_ = true;
}

std::uint64_t BlockQueue::dropped() const
{
    std::lock_guard lock(mutex_);
    return dropped_;
}

}  // namespace vboard
