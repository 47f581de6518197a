// SNMP polling port: the controller polls SNMP agents on its network interface. Each agent is a
// child of the port holding its record (address, UDP port, tags) and a ТИ table with one row
// per tag; the port owns the usual link-status ТС table with one row per agent.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ports/polling_port.h"
#include "snmp/snmprecord.h"

namespace t32 {

class TParams;

// One tag the caller wants to poll: a UTF-8 name and the identifier's arcs.
struct TSnmpTagPick {
  std::string name;
  snmp::TSnmpOid oid;
};

class TSNMP : public TPolledDevice {
 public:
  // Room the controller keeps for one agent record.
  static constexpr std::size_t kRecordBuffer = 1048580;
  static constexpr std::size_t kMaxTags = 8192;  // one ТИ row per tag
  static constexpr std::uint8_t kDefaultAddress[4] = {192, 168, 1, 0};

  TSNMP();
  const char* ClassName() const override { return "TSNMP"; }
  int SectionCode() const override { return 232; }
  void Create(TNode* n) override;
  void UpdateNode() override;
  void Fields(TFieldVisitor& v) override;
  void DumpExtra(std::string& out, const std::string& indent) const override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& /*c*/) override {}  // older images have no SNMP agents
  void EnumerateSignals(TStorageLists& lists) override;
  // Re-captions, renames the tags into signal names, makes or drops the ТИ table, rebuilds
  // it and then the port's link-status table.
  void UpdateStatusTable() override;

  snmp::TSNMP_device dev;

  TParams* TiTable() const;
  // Sets the address; the number (and the caption) follow the last octet.
  void SetAddress(const std::uint8_t a[4]);
  // "Место установки", cut to 64 characters.
  void SetPlace(const std::string& p);
  // The tag names as the ТИ rows get them: "." becomes "_", repeats get "_повтор" + position.
  std::vector<std::string> SignalNames() const;
  // The agent record as the image holds it (key 102).
  std::vector<std::uint8_t> Record() const;
  // Replaces the tags. Refused (false, with a message, nothing changed) beyond kMaxTags; an
  // identifier whose contents need more than 32 octets gets no tag and a message naming it.
  bool SetTags(const std::vector<TSnmpTagPick>& picks);
  // Takes a ready list (from the MIB picker); `skipped` names objects left out for their
  // identifier's length. Beyond kMaxTags nothing changes.
  bool ReplaceTags(snmp::TSNMP_TagList&& list, const std::vector<std::string>& skipped = {});
};

class TPortSNMP : public TPollingPort {
 public:
  TPortSNMP();
  const char* ClassName() const override { return "TPortSNMP"; }
  int SectionCode() const override { return 134; }
  void Create(TNode* n) override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& /*c*/) override {}
  void UpdateStatusTable() override;
  void AddChildren(int menuTag) override;
  void DuplicateChild(TItem* child) override;

  std::uint8_t netMask = 1;
  std::uint16_t pollPeriod = 200;  // ms, 10..1000, no editor
  std::uint16_t replyWait = 500;   // ms, 100..2000, no editor

  TSNMP* AddAgent();
  // A copy of the agent: address, UDP port and tags, then each ТИ row's gain, offset and
  // group; not the place.
  TSNMP* Duplicate(const TSNMP& src);
};

}  // namespace t32
