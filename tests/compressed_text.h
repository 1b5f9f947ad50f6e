// Text compressed in memory with the format libraries, for tests that need compressed inputs
// without checked-in binary files, and for the compressed-input fuzz target's mutator.
#pragma once

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <cstdint>
#include <string>

namespace tarn_test {

inline std::string gzip_text_at(const std::string& text, int level) {
  z_stream stream{};
  deflateInit2(&stream, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);  // gzip framing
  std::string out(deflateBound(&stream, text.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

inline std::string xz_text_with(const std::string& text, std::uint32_t preset, lzma_check check) {
  std::string out(lzma_stream_buffer_bound(text.size()), '\0');
  std::size_t written = 0;
  lzma_easy_buffer_encode(preset, check, nullptr, reinterpret_cast<const std::uint8_t*>(text.data()),
                          text.size(), reinterpret_cast<std::uint8_t*>(out.data()), &written, out.size());
  out.resize(written);
  return out;
}

inline std::string bzip2_text_in(const std::string& text, int block_size) {
  std::string out(text.size() + text.size() / 100 + 600, '\0');  // the bound libbz2 documents
  unsigned written = static_cast<unsigned>(out.size());
  BZ2_bzBuffToBuffCompress(out.data(), &written, const_cast<char*>(text.data()), static_cast<unsigned>(text.size()),
                           block_size, 0, 0);
  out.resize(written);
  return out;
}

// One-argument forms (the tests pass them as functions): the formats' strongest settings.
inline std::string gzip_text(const std::string& text) { return gzip_text_at(text, Z_BEST_COMPRESSION); }
inline std::string xz_text(const std::string& text) { return xz_text_with(text, 6, LZMA_CHECK_CRC64); }
inline std::string bzip2_text(const std::string& text) { return bzip2_text_in(text, 9); }

}  // namespace tarn_test
