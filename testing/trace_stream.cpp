// A wafer or process-of-record trace held in memory, read the way a C stream is: short reads set end-of-file.
#include "testing/trace_stream.h"

#include <bit>
#include <cctype>
#include <cstring>

std::size_t TraceStream::read_values(std::int16_t* out, std::size_t count)
{
    std::size_t available = (bytes_.size() - pos_) / 2;
    std::size_t n = count <= available ? count : available;
    if (n > 0) {
        const unsigned char* from = bytes_.data() + pos_;
        if constexpr (std::endian::native == std::endian::little) {
            // The file's byte order is ours: the values are copied as they stand.
            std::memcpy(out, from, n * 2);
        } else {
            for (std::size_t i = 0; i < n; ++i)
                out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(from[2 * i] | (from[2 * i + 1] << 8)));
        }
    }
    pos_ += n * 2;
    if (n < count) {
        // A dangling odd byte is consumed like fread would.
        pos_ = bytes_.size();
        eof_ = true;
    }
    return n;
}

bool TraceStream::skip(std::size_t count)
{
    if (bytes_.size() - pos_ < count) {
        pos_ = bytes_.size();
        eof_ = true;
        return false;
    }
    pos_ += count;
    return true;
}

bool TraceStream::read_block(std::vector<std::int16_t>& block, std::size_t values)
{
    block.resize(values);
    bool data = read_values(block.data(), values) == values;
    bool trailer = skip(kBlockTrailerBytes);
    return data && trailer;
}

void TraceStream::skip_token_line()
{
    auto at_end = [this] {
        if (pos_ < bytes_.size()) return false;
        eof_ = true;
        return true;
    };
    while (!at_end() && std::isspace(bytes_[pos_])) ++pos_;
    while (!at_end() && !std::isspace(bytes_[pos_])) ++pos_;
    if (!at_end()) ++pos_;
}
