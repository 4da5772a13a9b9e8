#include "tests/scenarios/scenario.h"

#include <algorithm>

namespace kestrum::scenarios {

const std::vector<Scenario>& All() {
  static const std::vector<Scenario> table = {
#include "scenarios.inc"
  };
  return table;
}

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

std::string CallDifference(const std::vector<std::string>& expected,
                           const std::vector<std::string>& actual) {
  if (expected == actual) return "";
  std::size_t width = 8;
  for (const std::string& line : expected) width = std::max(width, line.size());
  std::string out = "expected" + std::string(width - 8, ' ') + " |  actual\n";
  bool marked = false;
  for (std::size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
    const std::string left = i < expected.size() ? expected[i] : "";
    const std::string right = i < actual.size() ? actual[i] : "";
    const bool first_difference = !marked && left != right;
    marked = marked || first_difference;
    out += left + std::string(width - left.size(), ' ') + (first_difference ? " != " : " |  ") +
           right + "\n";
  }
  return out;
}

}  // namespace kestrum::scenarios
