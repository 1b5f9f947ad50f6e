// The compression formats told by their first bytes, and the streaming decoders fed in pieces.
#include <functional>
#include <random>

#include "cnf/decompress.h"
#include "compressed_text.h"
#include "test_support.h"

namespace {

struct format_case {
  compression format;
  std::function<std::string(const std::string&)> compress;
};

const format_case FORMATS[] = {
    {compression::gzip, tarn_test::gzip_text},
    {compression::xz, tarn_test::xz_text},
    {compression::bzip2, tarn_test::bzip2_text},
};

// Random clauses: text that compresses, but not to nothing, so that both the compressed data
// and its text span many pieces and output chunks.
std::string clause_text(unsigned clauses, unsigned seed) {
  std::mt19937 random(seed);
  std::string text = "p cnf 1000 " + std::to_string(clauses) + "\n";
  for (unsigned c = 0; c < clauses; ++c) {
    for (int k = 0; k < 3; ++k) text += (random() % 2 ? "-" : "") + std::to_string(1 + random() % 1000) + " ";
    text += "0\n";
  }
  return text;
}

struct decoded {
  stream_state state = stream_state::intact;
  std::string text;
};

// Feeds `data` in pieces of `piece` bytes, stopping at the first corrupt piece.
decoded decode_in_pieces(compression format, const std::string& data, std::size_t piece) {
  std::unique_ptr<decompressor> decoder = make_decompressor(format);
  decoded result;
  for (std::size_t at = 0; at < data.size() && result.state == stream_state::intact; at += piece)
    result.state = decoder->decode(std::string_view(data).substr(at, piece), result.text);
  if (result.state == stream_state::intact) result.state = decoder->finish(result.text);
  return result;
}

}  // namespace

TEST(Compression, IsToldByTheMagicNumberAlone) {
  const std::pair<std::string, compression> starts[] = {
      {"\x1f\x8b\x08", compression::gzip},
      {std::string("\xfd" "7zXZ\0", 6), compression::xz},
      {"BZh91AY", compression::bzip2},
      {"BZh1", compression::bzip2},
      {"BZh0", compression::none},  // block sizes are 1 to 9
      {"BZh", compression::none},
      {"\x1f", compression::none},
      {"\xfd" "7zXZ", compression::none},  // without its final zero byte
      {"\x1f\x8c", compression::none},
      {"p cnf 3 2\n", compression::none},
      {"", compression::none},
  };
  for (const auto& [start, format] : starts) {
    SCOPED_TRACE(tarn_test::shell_quote(start));
    EXPECT_EQ(compression_of(start), format);
  }
}

// Texts of several hundred kilobytes, and one that fills the decoders' output chunks exactly.
TEST(Decompressor, EveryFormatDecodesToTheTextWhateverThePieceSizes) {
  for (const std::string& text : {clause_text(40000, 1), std::string(1 << 17, 'c')}) {
    for (const format_case& f : FORMATS) {
      std::string data = f.compress(text);
      for (std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(4096), data.size()}) {
        SCOPED_TRACE(std::string(compression_name(f.format)) + " in pieces of " + std::to_string(piece));
        decoded d = decode_in_pieces(f.format, data, piece);
        EXPECT_EQ(d.state, stream_state::intact);
        EXPECT_TRUE(d.text == text) << d.text.size() << " bytes instead of " << text.size();
      }
    }
  }
  EXPECT_EQ(decode_in_pieces(compression::none, "p cnf 0 0\n", 3).text, "p cnf 0 0\n");
}

// As with the formats' own tools, streams one after the other are one text.
TEST(Decompressor, StreamsOneAfterTheOtherDecodeAsTheirTextsInTurn) {
  const std::string first = "p cnf 2 1\n", second = "1 -2 0\n";
  for (const format_case& f : FORMATS) {
    std::string data = f.compress(first) + f.compress(second);
    for (std::size_t piece : {std::size_t(1), std::size_t(5), data.size()}) {
      SCOPED_TRACE(std::string(compression_name(f.format)) + " in pieces of " + std::to_string(piece));
      decoded d = decode_in_pieces(f.format, data, piece);
      EXPECT_EQ(d.state, stream_state::intact);
      EXPECT_EQ(d.text, first + second);
    }
  }
}

TEST(Decompressor, EveryProperPrefixIsTruncatedAndTrailingBytesAreCorrupt) {
  const std::string text = clause_text(30, 2);
  for (const format_case& f : FORMATS) {
    SCOPED_TRACE(compression_name(f.format));
    std::string data = f.compress(text);
    for (std::size_t length = 1; length < data.size(); ++length)
      ASSERT_EQ(decode_in_pieces(f.format, data.substr(0, length), 16).state, stream_state::truncated)
          << "prefix of " << length << " of " << data.size() << " bytes";
    EXPECT_EQ(decode_in_pieces(f.format, data + "junk", 16).state, stream_state::corrupt);
    EXPECT_EQ(decode_in_pieces(f.format, data + std::string(1, data[0]), 16).state, stream_state::truncated);
  }
}

// A changed byte is reported, or else changes nothing the text depends on (a time stamp).
TEST(Decompressor, NoChangedByteGivesAnotherTextSilently) {
  const std::string text = clause_text(30, 3);
  for (const format_case& f : FORMATS) {
    SCOPED_TRACE(compression_name(f.format));
    std::string data = f.compress(text);
    unsigned reported = 0;
    for (std::size_t at = 0; at < data.size(); ++at) {
      std::string changed = data;
      changed[at] = static_cast<char>(changed[at] ^ 0x55);
      decoded d = decode_in_pieces(f.format, changed, 16);
      if (d.state == stream_state::intact)
        ASSERT_EQ(d.text, text) << "byte " << at << " changed";
      else
        ++reported;
    }
    EXPECT_GT(reported, data.size() / 2);
  }
}
