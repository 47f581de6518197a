// MMS client at the top of the ISO stack: association (initiate), loading of a server's model,
// reads, writes, data sets, directory listings and file downloads, time-outs, reconnection to a
// main or reserve server, and statistics. Driven by Tick() on the owner's thread.
#pragma once
#include <bitset>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "iec61850/acse.h"
#include "iec61850/mmsmodel.h"
#include "iec61850/reports.h"

namespace t32 {

class TMemStream;

struct TServerAddress {
  std::uint32_t Reserved = 0;
  std::uint8_t Ip[4] = {0, 0, 0, 0};
  std::int32_t Port = 102;
  std::int32_t ResponseTimeout = 10;    // s, OSI layers
  std::int32_t ReconnectInterval = 0;  // s
  bool IsSet() const { return Ip[0] || Ip[1] || Ip[2] || Ip[3]; }
};

// What the client tells its user interface.
class TMMSEvents {
 public:
  virtual ~TMMSEvents() = default;
  virtual void StateChanged(int) {}
  virtual void BrowseStepChanged(int) {}
  virtual void VariableUpdated(TMMSvar*) {}
  virtual void WriteResult(TMMSvar*, int) {}
  virtual void FileProgress(std::uint64_t, std::uint64_t) {}
  virtual void DirectoryComplete(bool) {}
  virtual void FileComplete(bool) {}
  virtual void ActiveServerChanged(int) {}
  virtual void Trace(const std::string&) {}
  virtual void ModelLoaded() {}
  virtual void ReportStepChanged(int) {}
};

// One outstanding confirmed request and what its answer concerns.
struct TConfirmedServiceRequest {
  int Service = 0;  // ConfirmedServiceRequest tag
  std::uint32_t InvokeId = 0;
  TTime Sent{};
  std::vector<TMMSvar*> Vars;
  TDataSet* DataSet = nullptr;
  int NameListKind = 0;  // which list a GetNameList fills
  int DomainIndex = -1;
  std::string Related;  // file name, continuation, ...
};

class TMMSobject : public TACSEobject {
 public:
  enum MmsState {
    kMmsIdle = 0, kMmsInitiating = 1, kMmsTimeout = 2, kMmsError = 3, kMmsRefused = 4, kMmsOff = 5,
    kMmsFailure = 6, kMmsAssociated = 7
  };
  enum BrowseSteps { kBrowseFailed = 11 };
  static constexpr int kStatusPeriod = 10;
  // Model size limits: a hostile server cannot make the client allocate without bound.
  static constexpr std::size_t kMaxModelNodes = 400000;
  static constexpr std::size_t kMaxNames = 200000;
  static constexpr std::size_t kMaxArrayElements = 1024;

  TMMSobject();
  ~TMMSobject() override;

  // Settings.
  TServerAddress Main, Reserve;
  std::int32_t ResponseTimeout = 20;  // s per confirmed request; 0 = no check
  std::int32_t LocalDetailCalling = 65000;
  std::int32_t MaxServOutstandingCalling = 1;
  std::int16_t MaxServOutstandingCalled = 5;
  std::int16_t NestingLevel = 8;
  std::int16_t TimeShiftHours = 3;
  double SilenceLimit = 0;  // s; 0 = off
  std::bitset<11> ProposedCBB;
  std::bitset<85> ProposedServices;
  TMMSEvents* Events = nullptr;
  std::string DownloadFolder = ".";

  // Copies the active address set into the transport settings.
  void ApplyAddress();
  int ActiveServer() const { return active_; }

  int MMSState() const { return mmsState_; }
  static const char* StateCaption(int state);
  std::string StatusText() const;
  std::string ServicesText() const;
  std::string CbbText() const;
  const std::bitset<11>& ServerCBB() const { return serverCbb_; }
  const std::bitset<85>& ServerServices() const { return serverServices_; }
  std::int64_t ServerStatus() const { return serverStatus_; }
  TStatHolder& Stats() { return stats_; }
  const TStatHolder& Stats() const { return stats_; }

  // Model.
  TMMSvar& Root() { return *root_; }
  TStrDictionary& Dictionary() { return dict_; }
  const std::vector<TMMSdomain>& Domains() const { return domains_; }
  std::vector<std::unique_ptr<TDataSet>>& DataSets() { return dataSets_; }
  const std::vector<TMMSvar*>& ReportControlBlocks() const { return rcbs_; }
  bool ModelLoaded() const { return loaded_; }
  bool Browsing() const { return browsing_; }
  int BrowseStep() const { return browseStep_; }
  // "LD/LN$FC$DO..." (a domain, "/" and the MMS name), or a name under the VMD-scope domain.
  TMMSvar* FindVariable(std::string_view reference);
  TDataSet* FindDataSet(std::string_view reference);
  std::string Reference(const TMMSvar* v) const;
  std::size_t OutstandingCount() const { return outstanding_.size(); }
  // The largest MMS PDU both sides accept (settled by the initiate exchange).
  std::int32_t MaxPduSize() const { return maxPduSize_; }
  // Approximate heap bytes held by the loaded model (tree, values, names, lists).
  std::size_t ModelMemory() const;

  // Operations; false when not associated or when the request could not be sent.
  bool LoadModel();
  bool ReadVariables(const std::vector<TMMSvar*>& vars);
  void BeginWrite();
  void AddWriteInteger(TMMSvar* v, std::int64_t x);
  void AddWriteBoolean(TMMSvar* v, bool x);
  void AddWriteBitString(TMMSvar* v, int bits, const std::uint8_t* octets);
  void AddWriteUnsigned(TMMSvar* v, std::uint64_t x);
  void AddWriteVisibleString(TMMSvar* v, std::string_view s);
  void AddWriteMmsString(TMMSvar* v, std::string_view utf8);
  void AddWriteOctetString(TMMSvar* v, const std::uint8_t* d, std::size_t n);
  void AddWriteFloat(TMMSvar* v, double x);
  // Parses text for the node's type and adds it; false when the text does not fit the type.
  bool AddWriteText(TMMSvar* v, std::string_view text);
  bool SendWrite();
  bool WriteOutstanding() const { return writeOutstanding_; }
  bool GetVariableAttributes(TMMSvar* v);
  bool GetDataSetMembers(TDataSet* ds);
  bool DefineDataSet(TDataSet* ds);
  bool ListDirectory(std::string_view path);
  const std::vector<TDirectoryEntry>& Directory() const { return directory_; }
  bool DownloadFile(std::string_view remote, std::string_view local = {});
  bool DownloadToMemory(std::string_view remote);
  const std::vector<std::uint8_t>& DownloadedData() const { return memData_; }
  bool DownloadActive() const { return download_.active; }
  // The initiate request this client sends (without the layers below).
  bool EncodeInitiateRequest(std::vector<std::uint8_t>& out) const;
  // Ends the association now (the transport reconnects by its own timer).
  void DropConnection();

  // ---- Reports, data sets and GOOSE control blocks (reports.cpp) ----
  static constexpr int kReportRetryDelay = 20;  // s before a failed report setup is tried again
  // Read the GOOSE control blocks after a load and after each new association.
  bool ReadGooseBlocks = true;
  TMMSReportList& Reports() { return reports_; }
  const TMMSReportList& Reports() const { return reports_; }
  TGCBList& GooseBlocks() { return gcbs_; }
  const TGCBList& GooseBlocks() const { return gcbs_; }
  int ReportStep() const { return reportStep_; }
  int GooseStep() const { return gooseStep_; }
  // Sets or clears the enabled flag of the given reports (all of them when the list is empty).
  void EnableReports(const std::vector<TMMSReportParam*>& which, bool on);
  // Disables RptEna of every enabled report's block and sets them up again.
  bool RestartReports();
  // Replaces the report list by the report control blocks of the model that carry an RptID.
  void BuildReportList();
  TDataSet* ResolveDataSet(std::string_view reference);
  // The control blocks of the model with the given functional constraint (RP, BR, GO).
  std::vector<TMMSvar*> ControlBlocks(const char* fc);
  // Builds or refreshes the GOOSE control block list from the values read from the blocks.
  void BuildGooseList();

  // ---- Device model stream (modelstream.cpp) ----
  static constexpr std::int32_t kStateVersion = 3;
  // While on, SaveState leaves out data no data set, report or GOOSE block needs.
  bool Pruning = false;
  // While on, SaveState writes node names themselves (node version 1) instead of indexes:
  // for a model that travels without a dictionary (device-type files).
  bool InlineNames = false;
  // Writes the client's state; node names go into `names` as indexes.
  bool SaveState(TMemStream& s, TStrDictionary& names);
  // Reads a state written by SaveState; node names are resolved through `names`. False on a
  // damaged or hostile stream (what was read before the fault stays).
  bool LoadState(TMemStream& s, const TStrDictionary& names);
  // Replaces the tree, data sets, reports and GOOSE blocks (the SCL reader fills them).
  void AdoptModel(std::unique_ptr<TMMSvar> root, std::vector<std::unique_ptr<TDataSet>> dataSets,
                  TMMSReportList reports, TGCBList gcbs);
  std::size_t NodeCount() const { return nodeCount_; }

  void Tick(TTime now) override;
  void Receive(const std::uint8_t* data, std::size_t length) override;
  bool Transmit(const std::uint8_t* data, std::size_t length) override;

 protected:
  bool DeliverTSDU(const std::uint8_t*& data, std::size_t& length) override;
  void ProtocolError(const char* layer) override;
  void StreamError(int code) override;
  void ConnectionRefused(const char* layer) override;

 private:
  void SetMMSState(int s);
  void SetBrowseStep(int s);
  bool SendInitiate();
  bool SendRequest(std::unique_ptr<TConfirmedServiceRequest> req, std::unique_ptr<TASNobject> service);
  void FreeOutstanding() { outstanding_.clear(); }
  std::unique_ptr<TConfirmedServiceRequest> TakeRequest(std::uint32_t id);
  void HandlePdu(const std::uint8_t* data, std::size_t length);
  void HandleInitiateResponse(const std::uint8_t* data, std::size_t length);
  void HandleConfirmedResponse(const std::uint8_t* data, std::size_t length);
  void HandleConfirmedError(const std::uint8_t* data, std::size_t length);
  void Failure();
  void BrowseNext();
  bool SendGetNameList(int objectClass, int domainIndex, int kind, const std::string& continueAfter);
  void RebuildTree();
  void RebuildDataSets();
  void CollectControlBlocks(const char* fc, std::vector<TMMSvar*>& out);
  bool ReadOne(TMMSvar* v);
  void ForgetNodes(const TMMSvar* subtree);
  bool BuildType(TMMSvar& node, const std::uint8_t* typeSpec, std::size_t length, int depth);
  TMMSvar* ResolveName(std::string_view domain, std::string_view item);
  bool OnGetNameList(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n);
  bool OnRead(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n);
  bool OnWrite(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n);
  bool OnGetVarAttributes(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n);
  bool OnGetNamedListAttributes(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n);
  bool OnFileDirectory(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n);
  bool OnFileOpen(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n);
  bool OnFileRead(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n);
  bool StartDownload(std::string_view remote);
  void FinishDownload(bool ok);
  void AddObjectName(TASNStructured& parent, const TMMSvar* v, std::int32_t tag = -1);
  void AddVariableList(TASNStructured& parent, const std::vector<TMMSvar*>& vars, std::int32_t tag);

  // reports.cpp
  void SetReportStep(int s);
  void ReportTick();
  void GooseTick();
  void ResetReports();
  void OnUnconfirmed(const std::uint8_t* d, std::size_t n);
  void OnInformationReport(const std::uint8_t* d, std::size_t n);
  void NoteWriteResult(TMMSvar* v, int code);
  void NoteRefused(const TConfirmedServiceRequest& req);
  void DropModelRefs();
  void ForgetReportNodes(const TMMSvar* subtree);
  bool DefineNextDataSet();
  bool SetupNextReport();
  TMMSvar* ChooseBlock(TMMSReportParam& r, TDataSet* ds);
  bool IsOutstanding(std::uint32_t id) const;
  bool AnyOutstanding(int service) const;
  TMMSReportList reports_;
  TGCBList gcbs_;
  int reportStep_ = 0;
  int gooseStep_ = 0;
  std::vector<std::uint32_t> blockReads_, gooseReads_;
  std::vector<std::pair<TMMSvar*, int>> writeResults_;
  std::vector<std::string> refusedDefines_;
  std::vector<TMMSvar*> refusedBlocks_;  // refused a report's settings on this association
  TTime reportStepAt_{};
  // modelstream.cpp
  bool LoadNode(TMemStream& s, const TStrDictionary& names, TMMSvar& into, int depth, bool isRoot);

  int mmsState_ = kMmsIdle;
  int active_ = 0;
  TTime switchedFor_{};
  TTime lastInitiate_{};
  TTime lastReceive_{};
  TTime lastStatus_{};
  TTime associatedAt_{};
  std::uint32_t invokeId_ = 0;
  std::int32_t maxPduSize_ = 65000;  // negotiated at the association
  std::bitset<11> serverCbb_;
  std::bitset<85> serverServices_;
  std::int64_t serverStatus_ = -1;
  TStatHolder stats_;
  TBerEncoder enc_;
  std::vector<std::unique_ptr<TConfirmedServiceRequest>> outstanding_;

  TStrDictionary dict_;
  std::unique_ptr<TMMSvar> root_;
  std::size_t nodeCount_ = 1;
  std::vector<TMMSdomain> domains_;
  TMMSdomain vmd_;  // VMD-scope names
  bool domainsLoaded_ = false;
  std::vector<std::unique_ptr<TDataSet>> dataSets_;
  std::vector<TMMSvar*> rcbs_, gocbs_;
  std::size_t rcbNext_ = 0, gocbNext_ = 0;
  int stage_ = 0;
  bool browsing_ = false;
  bool loaded_ = false;
  int browseStep_ = 0;

  std::vector<TMMSDataContainer> fifo_;
  std::vector<std::pair<TMMSvar*, std::unique_ptr<TASNobject>>> writeList_;
  bool writeOutstanding_ = false;

  std::vector<TDirectoryEntry> directory_;
  bool directoryPending_ = false;
  struct TDownload {
    bool active = false;
    bool toMemory = false;
    std::string remote, local;
    std::string temp;  // the file being written; renamed to `local` when complete
    std::int64_t frsm = 0;
    std::uint64_t size = 0, received = 0;
    std::FILE* file = nullptr;
  } download_;
  std::vector<std::uint8_t> memData_;
};

}  // namespace t32
