// The processor's port menu as data, and the rules behind it: which entries may be used now,
// and how a port added from the menu gets its place and number.
#pragma once
#include <vector>

namespace t32 {

class TDocument;
class TItem;
class TNode;

struct TPortMenuEntry {
  const char* caption;
  int tag;          // section code of the port it makes (124 makes the IEC 61850 port)
  bool shown;       // entries for ports that were never built stay hidden
  bool cpu927Only;  // only with the CPU-927 processor
};

// The entries in menu order.
const std::vector<TPortMenuEntry>& PortMenuEntries();
// An entry is enabled when it is shown, this build has its class, the processor allows it, and
// for the automation, logic and two-position ports (117, 131, 132, 133) no such port exists yet.
bool PortEntryEnabled(const TDocument& doc, int tag, bool cpu927);
// The lowest port number from 1 to 40 that no other port (but `except`) uses; 1 when all are.
int LowestFreePortNumber(const TDocument& doc, const TItem* except = nullptr);
// Makes the entry's port as the processor's last child with the lowest free number and
// updates counts and storage. None when this build has no class for the tag.
TNode* AddPortFromMenu(TDocument& doc, int tag);

}  // namespace t32
