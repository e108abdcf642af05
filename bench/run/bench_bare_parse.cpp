// The floor for a settings run: parse a settings file with Boost.PropertyTree
// into a map, and nothing else.
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_bare_parse FILE\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  boost::property_tree::ptree tree;
  boost::property_tree::read_json(in, tree);
  std::map<std::string, std::string> records;
  for (const auto& [name, node] : tree.get_child("sensitive_settings")) {
    records[name] = node.get_value<std::string>();
  }
  std::printf("%zu\n", records.size());
  return 0;
}
