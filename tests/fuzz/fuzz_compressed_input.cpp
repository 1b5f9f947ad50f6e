// Any byte string as an input file, compressed or not as its first bytes say. The decoder fed
// the bytes in pieces of varying sizes (empty ones included) must agree with the decoder fed
// them whole: the same outcome, the same text when intact; a stream cut short by a byte is
// truncated and one followed by a foreign byte corrupt. The file reader must give that text or
// reject what is not intact. The text then goes through the CNF reader, which either rejects it
// or returns a formula whose clauses name declared variables only.
//
// The decoding libraries are not instrumented, so libFuzzer cannot see its way into their data
// and a mutated byte of compressed data mostly fails a check. The mutator therefore also mutates
// the decoded text of an intact input and compresses it again, in one or several streams of any
// of the formats, which keeps intact inputs of every shape coming: streams ending inside pieces
// and at their ends, streams of every level and check, CNFs the reader accepts.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "cnf/cnf_read.h"
#include "cnf/decompress.h"
#include "cnf/input_stream.h"
#include "compressed_text.h"
#include "fuzz_support.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t max_size);

namespace {

// Texts beyond this (a few kilobytes of input can decode to many megabytes) are not read as
// CNFs: the reader would take the run's time on what the CNF target already covers.
constexpr std::size_t CNF_TEXT_LIMIT = 1 << 20;

struct decoded {
  stream_state state = stream_state::intact;
  std::string text;
};

decoded decode_whole(compression format, std::string_view data) {
  std::unique_ptr<decompressor> decoder = make_decompressor(format);
  decoded result;
  result.state = decoder->decode(data, result.text);
  if (result.state == stream_state::intact) result.state = decoder->finish(result.text);
  return result;
}

// The length of the next piece, from the input's bytes read in turn from its end so that the
// magic bytes at its front do not fix the first pieces: an empty or tiny piece, a short one, a
// long one (beyond an output chunk's worth of some streams) or all that is left.
std::size_t piece_length(std::string_view data, std::size_t index, std::size_t left) {
  auto b = static_cast<unsigned char>(data[data.size() - 1 - index % data.size()]);
  switch (b % 4) {
    case 0: return b / 4 % 4;
    case 1: return 1 + b / 4 % 16;
    case 2: return 1 + b / 4 * 17;
    default: return left;
  }
}

// Stops at the first piece that is not intact, as the file reader does.
decoded decode_in_pieces(compression format, std::string_view data) {
  std::unique_ptr<decompressor> decoder = make_decompressor(format);
  decoded result;
  bool last_empty = false;
  for (std::size_t at = 0, index = 0; at < data.size() && result.state == stream_state::intact; ++index) {
    std::size_t length = std::min(piece_length(data, index, data.size() - at), data.size() - at);
    if (length == 0 && last_empty) length = 1;  // empty pieces only one at a time, so that the data runs out
    last_empty = length == 0;
    result.state = decoder->decode(data.substr(at, length), result.text);
    at += length;
  }
  if (result.state == stream_state::intact) result.state = decoder->finish(result.text);
  return result;
}

bool is_prefix(const std::string& a, const std::string& b) { return b.compare(0, a.size(), a) == 0; }

void check_pieces_agree(const decoded& whole, const decoded& pieces) {
  fuzz::expect(pieces.state == whole.state, "decoding in pieces ends otherwise than decoding whole");
  if (whole.state == stream_state::intact)
    fuzz::expect(pieces.text == whole.text, "decoding in pieces gives another text");
  else  // what came before the bad or missing bytes is the same text, however much of it was given out
    fuzz::expect(is_prefix(pieces.text, whole.text) || is_prefix(whole.text, pieces.text),
                 "decoding in pieces gives another text before the data goes wrong");
}

// An intact stream loses its end with its last byte, and takes no byte after it but the first
// of another stream.
void check_ends(compression format, const std::string& data) {
  fuzz::expect(decode_whole(format, std::string_view(data).substr(0, data.size() - 1)).state ==
                   stream_state::truncated,
               "an intact input without its last byte is not truncated");
  fuzz::expect(decode_whole(format, data + '\n').state == stream_state::corrupt,
               "an intact input followed by a newline is not corrupt");
}

// The file reader on the same bytes: the decoded text when intact, a rejection otherwise.
void check_file_reader(const std::uint8_t* data, std::size_t size, const decoded& whole) {
  std::string path = fuzz::write_input("fuzz-compressed", data, size);
  try {
    std::string text = read_input_text(path.c_str());
    fuzz::expect(whole.state == stream_state::intact, "the file reader accepts data that is not intact");
    fuzz::expect(text == whole.text, "the file reader gives another text than the decoder");
  } catch (const fuzz::rejected_input& rejection) {
    fuzz::expect(whole.state != stream_state::intact, "the file reader rejects intact data");
    fuzz::expect(rejection.status == 1, "the file reader rejects with a status other than 1");
  }
}

void check_cnf_reader(const std::string& text, bool skip_trivial) {
  std::unique_ptr<cnf> formula;
  try {
    formula = get_cnf_from_text(text, "fuzz.cnf", skip_trivial);
  } catch (const fuzz::rejected_input& rejection) {
    fuzz::expect(rejection.status == 1, "the CNF reader rejects with a status other than 1");
    return;
  }
  fuzz::expect(formula->file_name == "fuzz.cnf", "the formula is named otherwise than its input");
  fuzz::expect(formula->eclause_count <= formula->clause_count(), "more eclauses than clauses");
  for (const std::vector<int>& clause : formula->clauses) {
    fuzz::expect(!clause.empty() && clause.back() == 0, "a clause without its terminating 0");
    for (std::size_t i = 0; i + 1 < clause.size(); ++i)
      fuzz::expect(clause[i] != 0 && static_cast<unsigned>(std::abs(clause[i])) <= formula->var_count,
                   "a literal 0 or of an undeclared variable");
  }
}

// The text in the format, at a level and (xz) with a check chosen at random. xz at its lowest
// preset only: the others take three times as long and more to set up, at every mutation.
std::string compress(const std::string& text, compression format, std::minstd_rand& random) {
  static const lzma_check checks[] = {LZMA_CHECK_NONE, LZMA_CHECK_CRC32, LZMA_CHECK_CRC64, LZMA_CHECK_SHA256};
  switch (format) {
    case compression::gzip: return tarn_test::gzip_text_at(text, static_cast<int>(random() % 10));
    case compression::xz: return tarn_test::xz_text_with(text, 0, checks[random() % 4]);
    case compression::bzip2: return tarn_test::bzip2_text_in(text, static_cast<int>(1 + random() % 9));
    case compression::none: break;
  }
  return text;
}

// The decoded text mutated, cut into one to three streams of one format (any, when the input
// is plain text), one after the other; nothing when the input is not intact or the result does
// not fit.
std::string mutate_decoded(std::string_view bytes, std::size_t max_size, std::minstd_rand& random) {
  compression format = compression_of(bytes.substr(0, MAGIC_LENGTH));
  decoded whole = decode_whole(format, bytes);
  // Texts of a few times an input's length, which may still compress to fit as an input; longer
  // ones would make the mutator's compressing the bulk of the fuzzer's time.
  std::size_t room = 4 * max_size, length = whole.text.size();
  if (whole.state != stream_state::intact || length == 0 || length > room) return "";
  std::string text = std::move(whole.text);
  text.resize(room);
  text.resize(LLVMFuzzerMutate(reinterpret_cast<std::uint8_t*>(text.data()), length, room));
  if (format == compression::none || random() % 8 == 0) format = static_cast<compression>(1 + random() % 3);
  std::string out;
  std::size_t streams = 1 + random() % 3, at = 0;
  for (std::size_t s = 1; s <= streams; ++s) {
    std::size_t end = s == streams ? text.size() : at + random() % (text.size() - at + 1);
    out += compress(text.substr(at, end - at), format, random);
    at = end;
  }
  return out.size() <= max_size ? out : "";
}

}  // namespace

// Half of the mutations are libFuzzer's own on the bytes, so that damaged and foreign data keep
// coming too; the other half work on the decoded text.
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t max_size,
                                               unsigned seed) {
  std::minstd_rand random(seed);
  if (random() % 2 == 0) return LLVMFuzzerMutate(data, size, max_size);
  std::string out = mutate_decoded(std::string_view(reinterpret_cast<const char*>(data), size), max_size, random);
  if (out.empty()) return LLVMFuzzerMutate(data, size, max_size);
  std::memcpy(data, out.data(), out.size());
  return out.size();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare();
  std::string bytes(reinterpret_cast<const char*>(data), size);
  compression format = compression_of(std::string_view(bytes).substr(0, MAGIC_LENGTH));
  decoded whole = decode_whole(format, bytes);
  if (format == compression::none)
    fuzz::expect(whole.state == stream_state::intact && whole.text == bytes, "plain bytes are not kept as they are");
  if (size > 0) check_pieces_agree(whole, decode_in_pieces(format, bytes));
  if (format != compression::none && whole.state == stream_state::intact) check_ends(format, bytes);
  check_file_reader(data, size, whole);
  if (whole.state == stream_state::intact && whole.text.size() <= CNF_TEXT_LIMIT)
    check_cnf_reader(whole.text, size == 0 || data[size - 1] % 2);
  return 0;
}
