// The ordered, bounded queue of sample blocks between the transfer thread and the user-interface thread.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace vboard {

// Buffers circulate: free -> filled by the transfer thread -> ready (oldest
// first) -> held by the consumer until its next take -> free. The thread never
// touches a held buffer; when no buffer is free it drops the oldest ready block
// and marks the block after the gap with the overrun error.
// Only the first few buffers are made at once; the rest, up to the bound, when
// the consumer falls behind: a bound of seconds of blocks at a sped-up clock
// costs memory only while it is used.
class BlockQueue {
public:
    static constexpr std::uint8_t kOverrunError = 10;
    static constexpr std::size_t kFirstBuffers = 4;

    // Room for `blocks` buffers of `values` int16 each, the first of them made now; false when memory runs out.
    bool allocate(std::size_t blocks, std::size_t values);
    void release();
    bool allocated() const;
    std::size_t values_per_block() const;

    // Transfer thread: the buffer for the next block (kept until publish).
    std::int16_t* fill_buffer();
    void publish(std::uint8_t error, std::uint8_t fill);

    // Consumer: true when a block is ready.
    bool ready() const;
    std::size_t ready_count() const;
    // Hands out the oldest ready block; the previous one returns to the pool.
    bool take(std::int16_t** data, std::uint8_t* error, std::uint8_t* fill);
    // Drops every ready block (start of a new acquisition).
    void clear_ready();

    std::uint64_t delivered() const;
    std::uint64_t dropped() const;

    // Tests: the next allocate() fails as if memory had run out.
    void inject_allocation_failure();

private:
    struct Entry {
        int buffer = -1;
        std::uint8_t error = 0;
        std::uint8_t fill = 0;
    };
    mutable std::mutex mutex_;
    std::vector<std::vector<std::int16_t>> buffers_;
    std::size_t bound_ = 0;   // buffers at most
    std::size_t values_ = 0;  // int16 per buffer
    std::vector<int> free_;
    std::deque<Entry> ready_;
    int filling_ = -1;
    int held_ = -1;
    bool overrun_pending_ = false;
    bool fail_next_ = false;
    std::uint64_t delivered_ = 0;
    std::uint64_t dropped_ = 0;
};

}  // namespace vboard
