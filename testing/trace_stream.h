// A wafer or process-of-record trace held in memory, read the way a C stream is: short reads set end-of-file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/trace_file.h"

// Reads a trace's bytes with the semantics the sections rely on: a read that
// cannot be satisfied in full delivers what is there and sets end-of-file; a
// read that ends exactly at the last byte does not.
class TraceStream {
public:
    TraceStream() = default;
    explicit TraceStream(std::span<const unsigned char> bytes) : bytes_(bytes) {}

    // Reads `count` little-endian int16 values; returns how many were read in full.
    std::size_t read_values(std::int16_t* out, std::size_t count);
    // Reads and drops `count` bytes (the 20-byte block trailer); true when all were there.
    bool skip(std::size_t count);
    // One block of `values` int16 and its trailer; true only when both were read in full.
    bool read_block(std::vector<std::int16_t>& block, std::size_t values);
    // Skips one blank-delimited token and the character after it (the process-of-record header).
    void skip_token_line();

    bool eof() const { return eof_; }
    std::size_t tell() const { return pos_; }
    void seek(std::size_t offset)
    {
        pos_ = offset < bytes_.size() ? offset : bytes_.size();
        eof_ = false;
    }
    std::size_t size() const { return bytes_.size(); }

private:
    std::span<const unsigned char> bytes_;
    std::size_t pos_ = 0;
    bool eof_ = false;
};
