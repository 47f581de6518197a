// Configured reports and GOOSE control blocks of the MMS client: what the client sets up on a
// server, what it remembers of each report that arrives, and what it saves with the model.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "iec61850/mmsmodel.h"
#include "net/tcpobject.h"

namespace t32 {

class TMMSobject;

// One configured report.
struct TMMSReportParam {
  // Saved fields, in the order of the device model stream.
  std::string RptID = "REPORT_00";
  std::string DatSet;
  bool Buffered = false;
  std::uint16_t Spare = 0;  // kept as read, no meaning
  std::uint8_t TrgOps = 0x5C;
  std::int32_t IntgPd = 60000;  // ms
  std::int32_t BufTm = 0;       // ms
  bool Enabled = false;

  // Run time.
  TMMSobject* Client = nullptr;
  TMMSvar* Block = nullptr;  // the control block it is bound to
  bool Active = false;       // RptEna was written true successfully
  TTime LastReport{};
  bool Seen = false;  // set on each report; the browser clears it when drawn
  std::int64_t SqNum = -1;
  bool BufOvfl = false;
  std::array<std::uint8_t, 8> EntryID{};
  TDataSet* DataSet = nullptr;  // resolved once on the first report
  bool SetupSent = false;       // written in the current setup pass
};

class TMMSReportList {
 public:
  std::vector<std::unique_ptr<TMMSReportParam>> Items;
  bool AllActive = false;

  TMMSReportParam* Add() {
    Items.push_back(std::make_unique<TMMSReportParam>());
    return Items.back().get();
  }
  TMMSReportParam* Find(std::string_view rptId) const {
    for (const auto& r : Items)
      if (r->RptID == rptId) return r.get();
    return nullptr;
  }
  std::size_t Count() const { return Items.size(); }
  void Clear() {
    Items.clear();
    AllActive = false;
  }
};

// One GOOSE control block.
struct TGCBObject {
  std::string Name;       // control block name (gcb01)
  std::string Reference;  // LD/LLN0$GO$gcb01
  std::string GoID;       // the reference when the block has none
  std::string DatSet;
  TDataSet* DataSet = nullptr;
  std::array<std::uint8_t, 6> Mac{};
  std::int32_t Priority = 0;
  std::int32_t VID = 0;
  std::int32_t APPID = 0;
  // Read from the block; not saved.
  bool GoEna = false;
  std::int64_t ConfRev = 0;
  bool NdsCom = false;
  std::int64_t MinTime = 0, MaxTime = 0;
  bool FixedOffs = false;
  TMMSvar* Block = nullptr;
};

class TGCBList {
 public:
  std::vector<std::unique_ptr<TGCBObject>> Items;
  TGCBObject* Add() {
    Items.push_back(std::make_unique<TGCBObject>());
    return Items.back().get();
  }
  TGCBObject* FindByName(std::string_view name) const;
  std::size_t Count() const { return Items.size(); }
  void Clear() { Items.clear(); }
};

// Data sets the controller keeps for itself: never defined on a server.
bool IsReservedDataSet(std::string_view name);

}  // namespace t32
