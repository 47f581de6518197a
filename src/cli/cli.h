// Shared pieces of tavrik32-cli: the verb table and exit codes.
#pragma once
#include <string>
#include <vector>

namespace t32 {
class TDocument;
}

namespace t32::cli {

enum Exit { kOk = 0, kFailure = 1, kUsage = 2 };

using Args = std::vector<std::string>;

struct Verb {
  const char* name;
  const char* summary;  // one line for the main help
  int (*run)(const Args& args);  // args after the verb; handles its own --help
};

// Verb groups; each file adds its verbs.
void AddFileVerbs(std::vector<Verb>& verbs);
void AddLinkVerbs(std::vector<Verb>& verbs);
void AddMmsVerbs(std::vector<Verb>& verbs);
void AddSclVerbs(std::vector<Verb>& verbs);
void AddPortVerbs(std::vector<Verb>& verbs);
void AddIec104Verbs(std::vector<Verb>& verbs);
void AddSnmpVerbs(std::vector<Verb>& verbs);
void AddAutomationVerbs(std::vector<Verb>& verbs);
// The sample's time, two-position, UNIO and automation ports (cli_auto.cpp).
void AddSampleOtherPorts(TDocument& doc);
void AddLogicVerbs(std::vector<Verb>& verbs);
// diff: two configurations compared by meaning (cli_review.cpp).
void AddReviewVerbs(std::vector<Verb>& verbs);

}  // namespace t32::cli
namespace t32 {
class TDocument;
}
namespace t32::cli {
// "new --sample": a discrete logic port with three tasks on the sample's inputs.
void AddSampleLogic(TDocument& doc);
void AddModbusVerbs(std::vector<Verb>& verbs);
void AddIec61850Verbs(std::vector<Verb>& verbs);
// IEC 61850 device-type files (".ied") for info and check: whether the bytes are one, and the
// result of reading them (info prints its lines; check its verdict). IedCheckFile gives -1 for
// a file that is not a device-type file.
bool IsIedFile(const std::string& bytes);
int IedIntegrity(const std::string& path, const std::string& bytes, bool info);
int IedCheckFile(const std::string& path);
void AddIec103Verbs(std::vector<Verb>& verbs);

// "new --sample": both Modbus ports with devices (the RTU port on a free serial channel).
void AddSampleModbus(TDocument& doc);
// The sample's SNMP polling port: one agent with two tags, one without (cli_snmp.cpp).
void AddSampleSnmp(TDocument& doc);

// "new --sample": an IEC 104 polling port with two stations.
void AddSampleRtu104(TDocument& doc);
// "new --sample": the KP port with three stations, the three meter ports, ЦП8500 and МКТ-3.
void AddSampleKPAndMeters(TDocument& doc);

// True when args hold --help or -h.
bool WantsHelp(const Args& args);

}  // namespace t32::cli
