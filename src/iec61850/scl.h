// Reader of IEC 61850-6 SCL files (ICD, CID, SCD): fills the MMS client's variable tree, data
// sets, reports, GOOSE control blocks and called OSI addressing from one IED's description,
// the same structures a browse of the live server fills.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "iec61850/mmsclient.h"

namespace t32 {

class TMessages;

// SCL files larger than this are refused.
constexpr std::size_t kMaxSclFileSize = std::size_t(512) << 20;

// Loads the IED named `ied` (the first IED with a server when empty). A file that cannot be
// read, is not XML, or has no such IED with a server and data type templates is refused with
// a message and leaves the client as it was.
bool LoadSCL(const std::string& path, TMMSobject& client, std::string_view ied = {}, TMessages* msgs = nullptr);
// The same over the file's bytes (path only names the file in messages).
bool LoadSCLBytes(std::string_view bytes, const std::string& path, TMMSobject& client, std::string_view ied = {},
                  TMessages* msgs = nullptr);
// Names of the IEDs of the file, in document order; false (with a message) when unreadable.
bool ListSCLIeds(const std::string& path, std::vector<std::string>& names, TMessages* msgs = nullptr);

// MMS type tag of an SCL basic type (bType) name; 0 when unknown.
int SclTypeTag(std::string_view btype);

}  // namespace t32
