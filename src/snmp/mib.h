// A shallow, line-oriented reader of MIB modules (SMIv1 and SMIv2 text). It recognises a
// fixed set of constructs by keywords on a line, follows IMPORTS to other module files, and
// builds a catalogue of the readable numeric objects, tables and object groups with their
// object identifiers, from which the engineer picks the tags an agent is polled for.
// One catalogue per load, owned by whoever loads; nothing here is global.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "snmp/snmpber.h"

namespace t32::snmp {

struct TSNMPObjList;
struct TSNMPSequence;

struct TSNMPObject {
  std::string Name;
  std::string Syntax;
  std::string Access;
  std::string Description;
  TSNMPObjList* ModuleObjects = nullptr;
  TSNMPObject* Entry = nullptr;
  std::int32_t RowCount = 0;
  TSNMPSequence* Sequence = nullptr;
  TSnmpOid Oid;
  bool Readable = false;
  bool Numeric = false;
  bool IsTable = false;
  bool IsEntry = false;
};

// References to objects (the catalogue owns them).
struct TSNMPObjList {
  std::vector<TSNMPObject*> Items;
  // Removes and returns the first object of that name (exact case), or nullptr.
  TSNMPObject* Take(const std::string& name);
};

// A named member of a group or a column of a sequence; Object is set by the resolution.
struct TSNMPMember {
  std::string Name;
  TSNMPObject* Object = nullptr;
};

struct TSNMPGroup {
  std::string Name;
  std::string Description;
  std::vector<TSNMPMember> Members;
  TSNMPObjList* ModuleObjects = nullptr;
  TSnmpOid Oid;
};

struct TSNMPSequence {
  std::string Name;
  std::vector<TSNMPMember> Columns;
  TSNMPObjList* ModuleObjects = nullptr;
};

// Descriptor -> identifier. A lookup ignores case and finds the first definition of a name;
// later ones are kept but never found.
class TOIDList {
 public:
  TOIDList() { Reset(); }
  void Reset();  // leaves "iso" = 1
  void Add(const std::string& name, const TSnmpOid& oid);
  const TSnmpOid* Find(const std::string& name) const;
  std::size_t Count() const { return items_.size(); }
  const std::deque<std::pair<std::string, TSnmpOid>>& Items() const { return items_; }

 private:
  struct TNoCaseHash {
    std::size_t operator()(std::string_view s) const;
  };
  struct TNoCaseEqual {
    bool operator()(std::string_view a, std::string_view b) const;
  };
  std::deque<std::pair<std::string, TSnmpOid>> items_;  // a deque: the names stay where they are
  // First definition of each name, keyed by a view of that name, compared without case.
  std::unordered_map<std::string_view, std::size_t, TNoCaseHash, TNoCaseEqual> first_;
};

struct TSNMPSeqList {
  std::vector<std::unique_ptr<TSNMPSequence>> Items;
};
struct TSNMPGroupList {
  std::vector<std::unique_ptr<TSNMPGroup>> Items;
};
struct TSNMPModule {
  std::string Name;
  std::unique_ptr<TSNMPObjList> Objects;
};
struct TSNMPmoduleList {
  std::vector<TSNMPModule> Items;
  const TSNMPObjList* Find(const std::string& name) const;
};

class TMibCatalogue {
 public:
  TMibCatalogue();
  // Resets the catalogue, reads the module at path (and what it imports) and, if the file
  // itself could be read, resolves sequences and then groups. False when it could not.
  bool LoadMib(const std::string& path);

  // Folders searched for a module, in order: MibFolder, ProgramMibFolder, ExtraMibFolders,
  // then (when SystemMibFolders) the system's MIB folder with its "iana" and "ietf" parts.
  // Each ends with a path separator.
  std::string MibFolder;
  std::string ProgramMibFolder;
  std::vector<std::string> ExtraMibFolders;
  bool SystemMibFolders = true;

  // Progress lines and errors; either may be unset.
  std::function<void(const std::string&)> OnMibMessage;
  std::function<void(const std::string&)> OnMibError;

  TOIDList OidDictionary;
  TSNMPmoduleList Modules;
  TSNMPObjList LooseObjects;
  TSNMPGroupList Groups;
  TSNMPSeqList Sequences;
  TSNMPObjList Entries;
  std::vector<std::pair<std::string, TSNMPObject*>> EntryTypes;  // upper-case entry type name, table
  std::vector<std::string> ParsedModules;
  // Every object parsed in this load, listed or not, in parse order (owns them).
  std::vector<std::unique_ptr<TSNMPObject>> Objects;

 private:
  struct TFile;
  struct TText;
  struct TListing;
  // The text of a module file, split and with its keywords found, or nullptr when the file
  // cannot be read. Kept between loads while the file stays unchanged: the modules that
  // every module imports are then read from disk and scanned once, not once per load.
  std::shared_ptr<const TText> ReadText(const std::string& path);
  void Reset();
  bool ParseModule(const std::string& name, bool topLevel, int depth);
  std::string FindModuleFile(const std::string& name, std::string& lastTried);
  void Resolve();
  void Message(const std::string& s) const {
    if (OnMibMessage) OnMibMessage(s);
  }
  void Error(const std::string& s) const {
    if (OnMibError) OnMibError(s);
  }
  std::unordered_map<std::string, std::shared_ptr<const TText>> texts_;
  // Per folder: lower-case file name -> real file name, listed again when the folder changes.
  std::map<std::string, std::shared_ptr<TListing>> listings_;
  unsigned loads_ = 0;  // a folder is checked for changes once per load
};

}  // namespace t32::snmp
