// Text compressed in memory with the format libraries, for tests that need compressed inputs
// without checked-in binary files.
#pragma once

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <cstdint>
#include <string>

namespace tarn_test {

inline std::string gzip_text(const std::string& text) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);  // gzip framing
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

inline std::string xz_text(const std::string& text) {
  std::string out(lzma_stream_buffer_bound(text.size()), '\0');
  std::size_t written = 0;
  lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const std::uint8_t*>(text.data()),
                          text.size(), reinterpret_cast<std::uint8_t*>(out.data()), &written, out.size());
  out.resize(written);
  return out;
}

inline std::string bzip2_text(const std::string& text) {
  std::string out(text.size() + text.size() / 100 + 600, '\0');  // the bound libbz2 documents
  unsigned written = static_cast<unsigned>(out.size());
  BZ2_bzBuffToBuffCompress(out.data(), &written, const_cast<char*>(text.data()), static_cast<unsigned>(text.size()),
                           9, 0, 0);
  out.resize(written);
  return out;
}

}  // namespace tarn_test
