// A small MMS server for the client's tests, written from the ISO/IEC standards on its own
// (it shares no code with the client): RFC 1006, ISO 8073 class 0, the session, presentation
// and ACSE kernels, and the MMS services the client uses, over loopback.
#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace t32test {

using Bytes = std::string;

struct SNode {
  std::string name;
  int type = 0;  // MMS type tag
  int size = 0;
  std::vector<SNode> children;
  Bytes value;  // encoded Data element of a primitive
  bool readOnly = false;
};

struct SDataSet {
  std::string domain, name;
  std::vector<std::string> members;  // item names in the domain
};

class TTestMmsServer {
 public:
  TTestMmsServer();
  ~TTestMmsServer();
  int Port() const { return port_; }
  int Fd() const { return conn_ >= 0 ? conn_ : listen_; }
  // Accepts, reads, answers and flushes whatever is ready; never blocks.
  void Poll();
  void CloseConnection();

  // Model and files.
  std::map<std::string, std::vector<SNode>> domains;  // domain -> logical nodes
  std::vector<SDataSet> dataSets;
  std::map<std::string, Bytes> files;

  // Behaviour switches.
  std::size_t namesPerPage = 1000;
  bool omitMoreFollows = false;  // leave moreFollows out (the standard's default: true)
  std::size_t dirPerPage = 1000;
  std::size_t fileChunk = 300;
  bool rejectAssociation = false;
  std::uint8_t ccSizeCode = 0x0A;
  bool silent = false;  // takes requests and never answers
  int closeAfterFileReads = -1;  // closes the connection after answering this many FileReads
  bool closeOnAccept = false;    // accepts and closes at once (a connection limit, say)
  int answerDelayMs = 0;         // holds every MMS answer back this long
  int maxReadVariables = -1;     // a Read of more variables is refused (resource, memory-unavailable)
  int localDetail = 65000;       // the PDU size the server proposes
  Bytes garbageAfterAssociation;  // sent raw (inside TPKT/DT framing is up to the test) once associated
  bool garbageRaw = false;        // true: the bytes go straight onto the TCP stream

  // Reports: DefineNamedVariableList answers, control block write rules, reports on demand.
  bool refuseDefine = false;             // DefineNamedVariableList gets an error
  bool refuseRptEna = false;             // writing RptEna true is refused (object-access-denied)
  std::vector<std::string> reservedElsewhere;  // "LD/LN$RP$blk": another client holds them
  std::vector<SDataSet> definedSets;     // association-specific lists the client defined
  // Sends an information report whose list of access results is `results` (encoded Data
  // elements, concatenated).
  void SendReport(const Bytes& results);

  // What arrived.
  std::vector<Bytes> mmsRequests;
  int connections = 0;
  int requests = 0;

 private:
  void HandleTpdu(const Bytes& tpdu);
  void HandleTsdu(const Bytes& tsdu);
  void HandleMms(const Bytes& pdu);
  Bytes Answer(int service, const Bytes& body, bool& error);
  void SendTsdu(const Bytes& tsdu);
  void SendMms(const Bytes& pdu);
  SNode* Resolve(const std::string& domain, const std::string& item);
  // -1 when the write may go on, else the DataAccessError code the server answers.
  int ControlBlockWriteRule(const std::string& domain, const std::string& item, int tag, const Bytes& contents);

  int listen_ = -1, conn_ = -1, port_ = 0;
  Bytes in_, out_, tsdu_;
  bool associated_ = false;
  std::map<int, std::pair<Bytes, std::size_t>> open_;  // frsm -> file, position
  int fileReads_ = 0;
  bool closeAfterFlush_ = false;
  struct Held {
    std::chrono::steady_clock::time_point at;
    Bytes tsdu;
  };
  std::vector<Held> held_;
  int nextFrsm_ = 1;
};

// The model most tests use: one logical device with a structure holding every data type, a
// read-only attribute, an array, report control blocks and a data set.
void BuildSampleModel(TTestMmsServer& s);
// A logical device "RPTLD" with buffered and unbuffered report control blocks carrying every
// attribute, a GOOSE control block with values, data set LLN0$DS1 of three members.
void BuildReportModel(TTestMmsServer& s);

// Encoding helpers for report tests: Data elements as the server sends them.
Bytes DataVisibleString(const std::string& s);
Bytes DataBits(int bitCount, std::uint64_t bitsMsbFirst);  // bit 0 is the highest of bitCount
Bytes DataUnsigned(std::uint64_t v);
Bytes DataBool(bool b);
Bytes DataOctets(const Bytes& b);
Bytes DataFloat(float f);
Bytes DataStructure(const Bytes& elements);

// A model of about `attributes` data attributes over several logical devices.
void BuildLargeModel(TTestMmsServer& s, int attributes);

}  // namespace t32test
