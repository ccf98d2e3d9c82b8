// Prints every simulator name the plugin binds and every reference the
// stand-in host defines, one a line, tab-separated, for the check against
// the simulator's published lists (scripts/simulator-datarefs-check.sh):
//
//   lookup  <name>  <accessors>          a reference the plugin looks up
//   write   <name>  <setter>  <offset>   a reference a write handler sets
//   command <name>                       a command the plugin looks up
//   known   <name>  <kind>               an accepted difference
//   host    <name>  <type>  <y|n>        a reference of the stand-in
//
// Accessors and setters are letters: i int, f float, d double, vi int
// array, vf float array, b bytes, comma-separated; "-" for none. Types are
// spelled as the simulator's list spells them (int, float[16], byte[150]).
#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "offsets/reference_tables.h"
#include "plugin/host_references.h"
#include "requests/write_targets.h"
#include "simhost/host/host.h"
#include "tarvos_version.h"

namespace {

using tarvos::ReferenceTable;

std::string Accessors(uint8_t access) {
  static const std::pair<uint8_t, const char*> kLetters[] = {
      {tarvos::kAccessInt, "i"},         {tarvos::kAccessFloat, "f"},
      {tarvos::kAccessDouble, "d"},      {tarvos::kAccessIntArray, "vi"},
      {tarvos::kAccessFloatArray, "vf"}, {tarvos::kAccessBytes, "b"},
  };
  std::string out;
  for (const auto& [bit, letters] : kLetters) {
    if ((access & bit) == 0) continue;
    if (!out.empty()) out += ",";
    out += letters;
  }
  return out.empty() ? "-" : out;
}

const char* KindName(tarvos::KnownDifferenceKind kind) {
  switch (kind) {
    case tarvos::KnownDifferenceKind::kMissing:
      return "missing";
    case tarvos::KnownDifferenceKind::kReadOnly:
      return "read-only";
    case tarvos::KnownDifferenceKind::kSetterType:
      return "setter-type";
  }
  return "?";
}

std::string HostType(const simhost::Host& host, const std::string& name,
                     simhost::DataType type) {
  const std::string n = std::to_string(host.ArraySize(name));
  switch (type) {
    case simhost::DataType::kInt:
      return "int";
    case simhost::DataType::kFloat:
      return "float";
    case simhost::DataType::kDouble:
      return "double";
    case simhost::DataType::kIntArray:
      return "int[" + n + "]";
    case simhost::DataType::kFloatArray:
      return "float[" + n + "]";
    case simhost::DataType::kBytes:
      return "byte[" + n + "]";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--version") {
    std::puts("tarvos-references " TARVOS_VERSION);
    return 0;
  }
  // --older-host: the stand-in as an older simulator.
  const bool older = argc > 1 && std::string(argv[1]) == "--older-host";

  std::map<std::pair<ReferenceTable, uint16_t>, std::string> names;
  for (const tarvos::ReferenceLookup& row :
       tarvos::ReferenceLookupCatalogue()) {
    names[{row.table, row.slot}] = row.name;
    std::printf("lookup\t%s\t%s\n", row.name.c_str(),
                Accessors(row.access).c_str());
  }
  for (const tarvos::WriteTarget& target : tarvos::WriteTargets()) {
    auto name = names.find({target.table, target.slot});
    if (name == names.end()) {
      std::fprintf(stderr, "write target 0x%04X slot 0x%04X has no lookup\n",
                   target.handler, target.slot);
      return 1;
    }
    std::printf("write\t%s\t%s\t0x%04X\n", name->second.c_str(),
                Accessors(target.access).c_str(), target.handler);
  }
  for (int slot = 0; slot < tarvos::kCommandSlots; ++slot) {
    if (const char* name = tarvos::CommandLookupName(slot)) {
      std::printf("command\t%s\n", name);
    }
  }
  for (const tarvos::KnownDifference& known : tarvos::KnownHostDifferences()) {
    std::printf("known\t%s\t%s\n", known.name, KindName(known.kind));
  }

  simhost::Host& host = simhost::Host::Get();
  host.Reset();
  if (older) host.UseOlderHost();
  for (const auto& [name, type] : host.Datarefs()) {
    std::printf("host\t%s\t%s\t%s\n", name.c_str(),
                HostType(host, name, type).c_str(),
                host.IsWritable(name) ? "y" : "n");
  }
  return 0;
}
