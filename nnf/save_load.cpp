#include "nnf/save_load.h"

#include <cassert>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/output_file.h"
#include "base/utility.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------------------------

void write_node_line(std::FILE* out, const nnfn& node) {
  assert(living_node(node));
  switch (node.type) {
    case nnfn_type::or_node:
      std::fprintf(out, "O %u ", node.var);
      break;
    case nnfn_type::and_node:
      std::fputs("A ", out);
      break;
    default:
      std::fputs("L ", out);
      break;
  }
  if (literal_node(node)) {
    std::fprintf(out, node.type == nnfn_type::pos_literal ? "%u" : "-%u", node.size);
  } else {
    std::fprintf(out, "%u", node.size);
    for (unsigned k = 0; k < node.size; ++k) std::fprintf(out, " %u", node.children[k]);
  }
  std::fputc('\n', out);
}

// ---------------------------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------------------------

[[noreturn]] void corrupt_file() { fatal("\nCorrupt NNF file."); }

// The items of a circuit file: characters and decimal integers separated by any white space,
// read through one buffer.
class nnf_scanner {
 public:
  explicit nnf_scanner(std::FILE* file) : file_(file) {}

  bool at_word(const char* word) {
    for (; *word; ++word) {
      if (peek() != static_cast<unsigned char>(*word)) return false;
      advance();
    }
    return true;
  }

  // The first character after any white space; false at the end of the file.
  bool read_letter(char& letter) {
    skip_white_space();
    int c = peek();
    if (c == EOF) return false;
    advance();
    letter = static_cast<char>(c);
    return true;
  }

  // A decimal integer in the range of int, after any white space, with an optional sign.
  bool read_int(long long& value) {
    skip_white_space();
    bool negative = false;
    if (peek() == '-' || peek() == '+') {
      negative = peek() == '-';
      advance();
    }
    if (!std::isdigit(peek())) return false;
    long long magnitude = 0;
    while (std::isdigit(peek())) {
      magnitude = magnitude * 10 + (peek() - '0');
      if (magnitude > static_cast<long long>(INT_MAX) + 1) return false;
      advance();
    }
    value = negative ? -magnitude : magnitude;
    return value >= INT_MIN && value <= INT_MAX;
  }

 private:
  int peek() {
    if (position_ == length_) {
      length_ = std::fread(buffer_, 1, sizeof buffer_, file_);
      position_ = 0;
      if (length_ == 0) return EOF;
    }
    return static_cast<unsigned char>(buffer_[position_]);
  }
  void advance() { ++position_; }
  void skip_white_space() {
    while (peek() != EOF && std::isspace(peek())) advance();
  }

  std::FILE* file_;
  char buffer_[1 << 16];
  std::size_t position_ = 0;
  std::size_t length_ = 0;
};

struct nnf_header {
  unsigned nodes;
  unsigned edges;
  unsigned vars;
};

nnf_header read_header(nnf_scanner& in) {
  long long counts[3];
  if (!in.at_word("nnf")) corrupt_file();
  for (long long& count : counts)
    if (!in.read_int(count) || count < 0) corrupt_file();
  if (counts[0] == 0) corrupt_file();
  return {static_cast<unsigned>(counts[0]), static_cast<unsigned>(counts[1]),
          static_cast<unsigned>(counts[2])};
}

unsigned read_child_count(nnf_scanner& in) {
  long long count;
  if (!in.read_int(count) || count < 0) corrupt_file();
  return static_cast<unsigned>(count);
}

// The children go through a scratch list that grows as they arrive, so that an absurd child
// count allocates nothing before the file proves it.
void read_children(nnf_scanner& in, nnfn& node, unsigned count, unsigned parent,
                   std::vector<unsigned>& scratch) {
  scratch.clear();
  for (unsigned k = 0; k < count; ++k) {
    long long child;
    if (!in.read_int(child) || child < 0 || child >= parent) corrupt_file();
    scratch.push_back(static_cast<unsigned>(child));
  }
  node.size = count;
  if (count == 0) return;
  node.children.reset(new unsigned[count]);
  std::memcpy(node.children.get(), scratch.data(), count * sizeof(unsigned));
}

nnfn read_node(nnf_scanner& in, unsigned index, unsigned var_count, std::vector<unsigned>& scratch) {
  nnfn node;
  char letter;
  long long x;
  if (!in.read_letter(letter) || !in.read_int(x)) corrupt_file();
  switch (letter) {
    case 'L': {
      long long var = x < 0 ? -x : x;
      if (var == 0 || var > var_count) corrupt_file();
      node.type = x > 0 ? nnfn_type::pos_literal : nnfn_type::neg_literal;
      node.size = static_cast<unsigned>(var);
      break;
    }
    case 'A':
      if (x < 0) corrupt_file();
      node.type = nnfn_type::and_node;
      read_children(in, node, static_cast<unsigned>(x), index, scratch);
      break;
    case 'O':
      if (x < 0 || x > var_count) corrupt_file();
      node.type = nnfn_type::or_node;
      node.var = static_cast<unsigned>(x);
      read_children(in, node, read_child_count(in), index, scratch);
      break;
    default:
      corrupt_file();
  }
  return node;
}

// Every pass relies on every node being reachable from the root (a reduction would otherwise
// leave a stray node last, in the root's place). Parents stand after their children, so one
// backward sweep finds the unreached nodes.
bool every_node_reached_from_root(const nnf& circuit) {
  std::vector<char> reached(circuit.node_count, 0);
  reached[circuit.node_count - 1] = 1;
  for (unsigned i = circuit.node_count; i-- > 0;) {
    if (!reached[i]) return false;
    const nnfn& node = circuit.nodes[i];
    if (!internal_node(node)) continue;
    for (unsigned k = 0; k < node.size; ++k) reached[node.children[k]] = 1;
  }
  return true;
}

// A record takes at least two characters ("A0" reads as "A 0"), which bounds the nodes a file
// can hold whatever its header claims.
std::size_t most_records_in(std::FILE* file) {
  long start = std::ftell(file);
  if (start < 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
  long end = std::ftell(file);
  std::fseek(file, start, SEEK_SET);
  return end > start ? static_cast<std::size_t>(end - start) / 2 + 1 : 0;
}

}  // namespace

void save_nnf_to_file(const char* path, const nnf& circuit) {
  save_whole_file(path, [&](std::FILE* out) { write_nnf(out, circuit); }, DATA_FILE_FAILURE);
}

void write_nnf(std::FILE* out, const nnf& circuit) {
  if (VERBOSE) std::printf("\nSaving %u nnf nodes and %u edges...", circuit.node_count, circuit.edge_count);
  std::fprintf(out, "nnf %u %u %u\n", circuit.node_count, circuit.edge_count, circuit.var_count);
  for (const nnfn& node : circuit.nodes) write_node_line(out, node);
  if (VERBOSE) std::printf("done.");
}

std::unique_ptr<nnf> load_nnf_from_file(const char* path) {
  owned_file file(std::fopen(path, "r"));
  if (!file) fatal("\nCannot open file: %s (%s)", path, std::strerror(errno));
  std::size_t record_bound = most_records_in(file.get());
  nnf_scanner in(file.get());
  nnf_header header = read_header(in);
  if (VERBOSE) std::printf("\nLoading %u nnf nodes and %u edges...", header.nodes, header.edges);

  // The nodes are added as their records arrive; the header's count only bounds the reservation.
  std::unique_ptr<nnf> circuit = new_nnf_structure(0, header.edges, header.vars);
  circuit->nodes.reserve(record_bound < header.nodes ? record_bound : header.nodes);
  std::vector<unsigned> scratch;
  std::uint64_t edges = 0;
  for (unsigned i = 0; i < header.nodes; ++i) {
    circuit->nodes.push_back(read_node(in, i, header.vars, scratch));
    if (internal_node(circuit->nodes.back())) edges += circuit->nodes.back().size;
  }
  if (edges != header.edges) corrupt_file();
  circuit->node_count = header.nodes;
  if (!every_node_reached_from_root(*circuit)) corrupt_file();
  file.reset();
  if (VERBOSE) std::printf("done.");
  return circuit;
}

void save_nnf_as_vcg(const char* path, const nnf& circuit) {
  save_whole_file(path, [&](std::FILE* f) { write_nnf_vcg(f, circuit); }, PICTURE_FILE_FAILURE);
}

void write_nnf_vcg(std::FILE* f, const nnf& circuit) {
  static const char* const header[] = {
      "graph: { title: \"obdd\"", "\n\nsmanhatten_edges: no", "\nscaling: 0.50",
      "\ntreefactor: 0.9",        "\ncolor: darkmagenta",     "\nedge.color: lightyellow",
      "\nedge.thickness: 1",      "\nedge.arrowsize: 5",      "\nnode.borderwidth: 1",
      "\nnode.bordercolor: lightgreen", "\nnode.textcolor: blue", "\nnode.color: lightgray",
      "\n"};
  for (const char* line : header) std::fputs(line, f);
  for (unsigned i = 0; i < circuit.node_count; ++i) {
    const nnfn& node = circuit.nodes[i];
    unsigned title = i + 1;
    switch (node.type) {
      case nnfn_type::or_node:
        std::fprintf(f, "\nnode: { title: \"%u\" label: \"O %u\" shape: circle}", title, node.var);
        break;
      case nnfn_type::and_node:
        std::fprintf(f, "\nnode: { title: \"%u\" label: \"A\" shape: box}", title);
        break;
      case nnfn_type::pos_literal:
        std::fprintf(f, "\nnode: { title: \"%u\" label: \"%u\" shape: box}", title, node.size);
        break;
      case nnfn_type::neg_literal:
        std::fprintf(f, "\nnode: { title: \"%u\" label: \"-%u\" shape: box}", title, node.size);
        break;
      case nnfn_type::dead:
      case nnfn_type::duplicate:
        assert(!"a circuit is pictured only between passes");
        break;
    }
    if (!internal_node(node)) continue;
    for (unsigned k = node.size; k-- > 0;)
      std::fprintf(f, "\nedge: { sourcename: \"%u\" targetname: \"%u\" }", title, node.children[k] + 1);
  }
  std::fputs("}", f);
}
