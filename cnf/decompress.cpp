#include "cnf/decompress.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <cstdint>

#include "base/utility.h"

namespace {

constexpr std::size_t OUTPUT_CHUNK = 1 << 16;

const char GZIP_MAGIC[] = "\x1f\x8b";
const char XZ_MAGIC[] = "\xfd" "7zXZ";  // and a final zero byte
const char BZIP2_MAGIC[] = "BZh";       // and the block size, '1' to '9'

bool starts_with(std::string_view start, std::string_view magic) { return start.substr(0, magic.size()) == magic; }

class plain_copy : public decompressor {
 public:
  stream_state decode(std::string_view input, std::string& text) override {
    text.append(input);
    return stream_state::intact;
  }
  stream_state finish(std::string&) override { return stream_state::intact; }
};

// What one call of a library's decoder did.
enum class step_result { more, stream_end, corrupt };

// The loop the three libraries share: decode one stream at a time into chunks of output, and
// after the end of a stream start the next one, whose first byte must be the format's.
class stream_sequence : public decompressor {
 public:
  explicit stream_sequence(char first_magic_byte) : first_magic_byte_(first_magic_byte) {}

  stream_state decode(std::string_view input, std::string& text) final {
    char out[OUTPUT_CHUNK];
    for (;;) {
      if (ended_) {
        if (input.empty()) return stream_state::intact;
        if (input.front() != first_magic_byte_) return stream_state::corrupt;  // trailing bytes
        restart();
        ended_ = false;
      }
      std::size_t produced = 0;
      step_result result = step(input, out, produced);
      text.append(out, produced);
      if (result == step_result::corrupt) return stream_state::corrupt;
      if (result == step_result::stream_end) ended_ = true;
      else if (input.empty() && produced < OUTPUT_CHUNK) return stream_state::intact;  // all output given
    }
  }

  stream_state finish(std::string&) final { return ended_ ? stream_state::intact : stream_state::truncated; }

 protected:
  // Decodes from the front of `input` into out[0, OUTPUT_CHUNK), removing the bytes taken.
  virtual step_result step(std::string_view& input, char* out, std::size_t& produced) = 0;
  // A fresh state for the next stream.
  virtual void restart() = 0;

 private:
  char first_magic_byte_;
  bool ended_ = false;
};

class gzip_decoder : public stream_sequence {
 public:
  gzip_decoder() : stream_sequence(GZIP_MAGIC[0]) {
    if (inflateInit2(&stream_, 16 + MAX_WBITS) != Z_OK) report_out_of_memory();  // gzip framing only
  }
  ~gzip_decoder() override { inflateEnd(&stream_); }

 private:
  step_result step(std::string_view& input, char* out, std::size_t& produced) override {
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    stream_.avail_in = static_cast<uInt>(input.size());
    stream_.next_out = reinterpret_cast<Bytef*>(out);
    stream_.avail_out = OUTPUT_CHUNK;
    int status = inflate(&stream_, Z_NO_FLUSH);
    input.remove_prefix(input.size() - stream_.avail_in);
    produced = OUTPUT_CHUNK - stream_.avail_out;
    if (status == Z_STREAM_END) return step_result::stream_end;
    if (status == Z_MEM_ERROR) report_out_of_memory();
    return status == Z_OK || status == Z_BUF_ERROR ? step_result::more : step_result::corrupt;
  }

  void restart() override { inflateReset(&stream_); }

  z_stream stream_{};
};

class xz_decoder : public stream_sequence {
 public:
  xz_decoder() : stream_sequence(XZ_MAGIC[0]) { start(); }
  ~xz_decoder() override { lzma_end(&stream_); }

 private:
  void start() {
    if (lzma_stream_decoder(&stream_, UINT64_MAX, 0) != LZMA_OK) report_out_of_memory();
  }

  step_result step(std::string_view& input, char* out, std::size_t& produced) override {
    stream_.next_in = reinterpret_cast<const std::uint8_t*>(input.data());
    stream_.avail_in = input.size();
    stream_.next_out = reinterpret_cast<std::uint8_t*>(out);
    stream_.avail_out = OUTPUT_CHUNK;
    lzma_ret status = lzma_code(&stream_, LZMA_RUN);
    input.remove_prefix(input.size() - stream_.avail_in);
    produced = OUTPUT_CHUNK - stream_.avail_out;
    if (status == LZMA_STREAM_END) return step_result::stream_end;
    if (status == LZMA_MEM_ERROR) report_out_of_memory();
    return status == LZMA_OK || status == LZMA_BUF_ERROR ? step_result::more : step_result::corrupt;
  }

  void restart() override {
    lzma_end(&stream_);
    stream_ = LZMA_STREAM_INIT;
    start();
  }

  lzma_stream stream_ = LZMA_STREAM_INIT;
};

class bzip2_decoder : public stream_sequence {
 public:
  bzip2_decoder() : stream_sequence(BZIP2_MAGIC[0]) { start(); }
  ~bzip2_decoder() override { BZ2_bzDecompressEnd(&stream_); }

 private:
  void start() {
    if (BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK) report_out_of_memory();
  }

  step_result step(std::string_view& input, char* out, std::size_t& produced) override {
    stream_.next_in = const_cast<char*>(input.data());
    stream_.avail_in = static_cast<unsigned>(input.size());
    stream_.next_out = out;
    stream_.avail_out = OUTPUT_CHUNK;
    int status = BZ2_bzDecompress(&stream_);
    input.remove_prefix(input.size() - stream_.avail_in);
    produced = OUTPUT_CHUNK - stream_.avail_out;
    if (status == BZ_STREAM_END) return step_result::stream_end;
    if (status == BZ_MEM_ERROR) report_out_of_memory();
    return status == BZ_OK ? step_result::more : step_result::corrupt;
  }

  void restart() override {
    BZ2_bzDecompressEnd(&stream_);
    stream_ = bz_stream{};
    start();
  }

  bz_stream stream_{};
};

}  // namespace

compression compression_of(std::string_view start) {
  if (starts_with(start, GZIP_MAGIC)) return compression::gzip;
  if (starts_with(start, std::string_view(XZ_MAGIC, sizeof XZ_MAGIC))) return compression::xz;  // with the '\0'
  if (starts_with(start, BZIP2_MAGIC) && start.size() > 3 && start[3] >= '1' && start[3] <= '9')
    return compression::bzip2;
  return compression::none;
}

const char* compression_name(compression format) {
  switch (format) {
    case compression::gzip: return "gzip";
    case compression::xz: return "xz";
    case compression::bzip2: return "bzip2";
    case compression::none: break;
  }
  return "plain";
}

std::unique_ptr<decompressor> make_decompressor(compression format) {
  switch (format) {
    case compression::gzip: return std::make_unique<gzip_decoder>();
    case compression::xz: return std::make_unique<xz_decoder>();
    case compression::bzip2: return std::make_unique<bzip2_decoder>();
    case compression::none: break;
  }
  return std::make_unique<plain_copy>();
}
