// The end-to-end suites run their option sets under every search: the dtree-guided one and the
// dynamic one, each with and without preprocessing.
#pragma once

#include <string>
#include <vector>

inline const std::vector<std::vector<std::string>>& search_variants() {
  static const std::vector<std::vector<std::string>> variants = {{}, {"-dynamic"}, {"-preprocess"}, {"-dynamic", "-preprocess"}};
  return variants;
}

// Each option set followed by each search's options.
inline std::vector<std::vector<std::string>> under_every_search(const std::vector<std::vector<std::string>>& sets) {
  std::vector<std::vector<std::string>> all;
  for (const auto& variant : search_variants())
    for (auto set : sets) {
      set.insert(set.end(), variant.begin(), variant.end());
      all.push_back(std::move(set));
    }
  return all;
}
