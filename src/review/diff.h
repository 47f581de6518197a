// Reviewing a change: a comparison of two configurations by what they mean, not by their
// bytes. Items are matched by their place in the tree and their identity (class and number),
// so a board set to another address or a renumbered port reads as one line, not as a removal
// and an addition; signal rows are matched by their default names, so a row inserted at the
// top does not make every row after it look changed.
#pragma once
#include <string>
#include <vector>

#include "project/cfgfile.h"

namespace t32 {

class TDocument;
class TNode;

enum class TDiffKind {
  Added,           // an item (with its subtree) only in the second configuration
  Removed,         // only in the first
  Moved,           // a board at another address, or an item under another parent
  Renumbered,      // a port or device with another number
  Changed,         // a setting: field, old and new value
  SectionChanged,  // a section kept as it stood whose bytes differ (field: its code)
  RowAdded,
  RowRemoved,
  RowRenamed,      // the same default name, another name
  RowMoved,        // another place among the rows both tables hold
  RowChanged,      // a row setting (inversion, gain, ...): field, old and new value
  SourceChanged,   // an output row taken from another source, or no longer (or again) resolved
};

struct TDifference {
  TDiffKind kind = TDiffKind::Changed;
  std::string path;   // the item or table in the first configuration (empty when added)
  std::string pathB;  // in the second (empty when removed)
  std::string field;  // setting id; for rows the default name
  std::string oldValue, newValue;
  int row = -1, rowB = -1;  // row indexes in either table
  // The nodes in either document (null where the item is absent), for selecting them.
  TNode* nodeA = nullptr;
  TNode* nodeB = nullptr;
};

// Every difference of b against a, in tree order of a, additions last in tree order of b.
// Neither document is changed.
std::vector<TDifference> CompareConfigurations(TDocument& a, TDocument& b);

// The same difference seen from the other side (b against a).
TDifference Mirror(const TDifference& d);

// One line per difference, stable and readable:  changed ТАВРИК32/Процессор: address: 1 -> 2
std::string DifferenceLine(const TDifference& d);
std::string DifferencesText(const std::vector<TDifference>& list);
// A JSON array of objects (kind, path, pathB, field, old, new, row, rowB; empty ones left out).
std::string DifferencesJson(const std::vector<TDifference>& list);
// The kind as a word (CLI and JSON) and as a Russian caption (the window).
const char* DiffKindName(TDiffKind k);
const char* DiffKindCaption(TDiffKind k);

// Reads a ".cfg" file or its JSON form (".json") into the document, without touching the file.
// False with the reason in *error (the document's own messages are also told).
bool LoadConfiguration(TDocument& doc, const std::string& path, TCpu* cpu, std::string* error);

// The path of a node as the differences name it: captions from the root down, "/" between
// them, "#2", "#3" after a caption an earlier sibling already has.
std::string NodePath(const TNode* n);

}  // namespace t32
