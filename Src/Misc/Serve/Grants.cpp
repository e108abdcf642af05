#include "Src/Misc/Serve/Grants.h"

#include <sstream>
#include <string>

namespace {

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The template a unit instance belongs to: "worker@eu.service" gives
// "worker@.service"; empty for a unit that is no instance.
std::string TemplateOf(const std::string& unit) {
  const std::size_t at = unit.find('@');
  const std::size_t dot = unit.rfind('.');
  if (at == std::string::npos || dot == std::string::npos || dot <= at + 1) return {};
  return unit.substr(0, at + 1) + unit.substr(dot);
}

// The value granted to `id` in section `section` of `text`; false when
// there is none. A malformed line sets `fault`.
bool FindInSection(const std::string& text, const std::string& section, const std::string& id,
                   std::string& value, std::string& fault) {
  std::istringstream lines(text);
  std::string line;
  std::string current;
  for (int number = 1; std::getline(lines, line); ++number) {
    line = Trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      const std::size_t close = line.find(']');
      const std::string after = close == std::string::npos ? "" : Trim(line.substr(close + 1));
      if (close == std::string::npos || !(after.empty() || after[0] == '#' || after[0] == ';')) {
        fault = "line " + std::to_string(number) + " is not a [unit] section";
        return false;
      }
      current = Trim(line.substr(1, close - 1));
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || current.empty()) {
      fault = "line " + std::to_string(number) + " is not ID = TYPE:KEY in a [unit] section";
      return false;
    }
    if (current == section && Trim(line.substr(0, equals)) == id) {
      value = Trim(line.substr(equals + 1));
      return true;
    }
  }
  return false;
}

}  // namespace

bool FindGrant(const std::string& text, const std::string& unit, const std::string& id,
               Grant& grant, std::string& reason) {
  std::string value;
  std::string fault;
  bool found = FindInSection(text, unit, id, value, fault);
  const std::string template_unit = TemplateOf(unit);
  if (!found && fault.empty() && !template_unit.empty()) {
    found = FindInSection(text, template_unit, id, value, fault);
  }
  if (!fault.empty()) {
    reason = "the grant file does not parse: " + fault;
    return false;
  }
  if (!found) {
    reason = "no grant";
    return false;
  }
  const std::size_t colon = value.find(':');
  Grant read;
  if (colon == std::string::npos || !ParseFileType(value.substr(0, colon), read.type) ||
      colon + 1 == value.size()) {
    reason = "its grant is not TYPE:KEY (settings or credentials)";
    return false;
  }
  read.key = value.substr(colon + 1);
  grant = std::move(read);
  return true;
}
