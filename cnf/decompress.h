// Compressed inputs: the formats told apart by their first bytes, and streaming decoders that
// append what they decode to a text in memory.
#pragma once

#include <memory>
#include <string>
#include <string_view>

enum class compression { none, gzip, xz, bzip2 };

// The bytes an input must start with for compression_of to tell every format apart.
constexpr std::size_t MAGIC_LENGTH = 6;

// The format whose magic number `start` begins with; none for any other bytes (plain text).
compression compression_of(std::string_view start);
const char* compression_name(compression format);  // "plain", "gzip", "xz", "bzip2"

// What a decoder has seen of its stream so far.
enum class stream_state { intact, corrupt, truncated };

// A decoder of a format's data, fed in pieces (each below 4 GiB). Several streams of the format
// one after the other decode as their texts one after the other, as the format's own tools do;
// other bytes after a stream are corrupt data (xz's zero padding between streams included).
class decompressor {
 public:
  decompressor() = default;
  decompressor(const decompressor&) = delete;  // the libraries' stream states cannot be copied
  decompressor& operator=(const decompressor&) = delete;
  virtual ~decompressor() = default;
  // Appends to `text` what `input` decodes to: intact, or corrupt at the first bad byte.
  virtual stream_state decode(std::string_view input, std::string& text) = 0;
  // After the last piece, appends what is left: truncated when the data ends inside a stream.
  virtual stream_state finish(std::string& text) = 0;
};

// A decoder of the format; for none, one that appends the bytes as they are.
std::unique_ptr<decompressor> make_decompressor(compression format);
