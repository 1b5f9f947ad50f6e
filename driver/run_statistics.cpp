#include "driver/run_statistics.h"

#include <cstdio>

#include "base/output_file.h"

namespace {

// A JSON string: quotes, backslashes and control characters escaped.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

std::string field(const char* name, const std::string& value) { return quoted(name) + ": " + value; }

std::string field(const char* name, unsigned long long value) { return field(name, std::to_string(value)); }

std::string object(std::initializer_list<std::string> fields) {
  std::string out = "{";
  const char* separator = "";
  for (const std::string& f : fields) {
    out += separator + f;
    separator = ", ";
  }
  return out + "}";
}

std::string answer_object(const run_statistics& s) {
  if (!s.counted) return "null";
  return object({field("type", quoted(s.count_type)), field("satisfiable", s.satisfiable ? "true" : "false"),
                 field("count", quoted(s.count))});
}

}  // namespace

std::string statistics_json(const run_statistics& s) {
  const compile_report& c = s.compiling;
  return object({
             field("input", object({field("file", quoted(s.input)), field("variables", s.variables),
                                    field("clauses", s.clauses), field("eclauses", s.eclauses)})),
             field("dtree", object({field("method", std::to_string(s.dtree_method)),
                                    field("seed", s.seed < 0 ? "null" : std::to_string(s.seed)),
                                    field("max_cluster", c.max_cluster), field("max_cutset", c.max_cutset),
                                    field("max_context", c.max_context), field("max_separator", c.max_separator),
                                    field("height", c.dtree_height)})),
             field("seconds", object({field("read", seconds(s.read_seconds)),
                                      field("dtree_and_setup", seconds(c.preprocessing_seconds)),
                                      field("compile", seconds(c.compile_seconds)),
                                      field("release", seconds(c.release_seconds)),
                                      field("post_processing", seconds(s.post_processing_seconds)),
                                      field("total", seconds(s.total_seconds)),
                                      field("processor", seconds(s.cpu_seconds))})),
             field("memory_peak_megabytes", s.peak_megabytes),
             field("circuit", object({field("nodes", s.circuit_nodes), field("edges", s.circuit_edges)})),
             field("search", object({field("cache_hits", c.cache_hits), field("cache_misses", c.cache_misses),
                                     field("cache_entries", c.cache_entries),
                                     field("learned_clauses", c.learned_clauses)})),
             field("answer", answer_object(s)),
         }) +
         "\n";
}

std::unique_ptr<output_file> open_statistics_file(const char* path) {
  auto file = std::make_unique<output_file>(path);
  require_open(*file, path, DATA_FILE_FAILURE);
  return file;
}

void save_statistics(output_file& file, const char* path, const run_statistics& stats) {
  std::fputs(statistics_json(stats).c_str(), file.get());
  require_committed(file, path, DATA_FILE_FAILURE);
}
