// The tree the engineer picks an agent's tags from: a loaded MIB catalogue laid out as modules,
// their objects and groups, tables with numbered rows of column copies, each node with a tick.
// Kept apart from any window so that what the picker adds can be checked on its own.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "snmp/mib.h"
#include "snmp/snmprecord.h"

namespace t32::snmp {

struct TMibNode {
  enum class Kind { Root, Module, Object, Table, Row, Group };
  Kind kind = Kind::Object;
  std::string caption;
  TSNMPObject* object = nullptr;  // Object, Table; a row shows its table's entry
  TSNMPGroup* group = nullptr;
  std::unique_ptr<TSNMPObject> copy;  // a column copy of a row owns its object
  bool ticked = false;
  TMibNode* parent = nullptr;
  std::vector<std::unique_ptr<TMibNode>> children;

  TMibNode* Add(Kind k, std::string cap);
  // A plain object: polled as a tag (neither table nor entry).
  bool Plain() const { return kind == Kind::Object && object && !object->IsTable && !object->IsEntry; }
};

class TMibTree {
 public:
  static constexpr int kMaxRows = 100;

  // Lays the catalogue out under a root captioned with the file name. The catalogue must
  // outlive the tree (column copies aside, nodes point into it).
  void Build(TMibCatalogue& cat, const std::string& fileName);
  void Clear() { root_.reset(); }
  TMibNode* Root() const { return root_.get(); }

  // Ticks or unticks a node and all its descendants.
  static void SetTicked(TMibNode* n, bool on);
  // A table's rows anew (0..kMaxRows); the new rows take the table's tick.
  static void SetRowCount(TMibNode* table, int rows);

  // Ticks exactly the plain objects whose identifiers are among the tags' (and nothing else).
  void TickTags(const TSNMP_TagList& tags);
  // The agent's new tag list: first the tags this tree cannot show, as they were, then every
  // ticked plain object in tree order (names cut to 63 characters). Objects whose identifier
  // does not fit a tag are left out and named in *skipped.
  TSNMP_TagList Collect(const TSNMP_TagList& current, std::vector<std::string>* skipped) const;

 private:
  static void AddObject(TMibNode* parent, TSNMPObject* o);
  static void FillRows(TMibNode* table);
  std::unique_ptr<TMibNode> root_;
};

}  // namespace t32::snmp
