// The signal list a control centre is given: for every output port (a control-station port, a
// workstation, an IEC 104 port, ...) each row of its tables with the address the port gives it
// and where the signal comes from (source item, storage index, board, channel, input).
#pragma once
#include <string>
#include <vector>

namespace t32 {

class TDocument;
class TItem;

struct TSignalListRow {
  std::string port;     // the port's path in the tree
  std::string table;    // "ТС", "ТУ", ...
  int index = 0;        // row in the port's table
  std::string name;
  std::string address;  // the port's own address text for the row
  std::string source;   // path of the item whose source table holds the row; empty if none
  int storageIndex = -1;
  std::string board;    // the board the source sits on (empty for ports and devices)
  std::string channel;  // the channel, module, port or device under it that owns the table
  int input = 0;        // 1-based row of the source table (the physical input); 0 if none
  bool unresolved = false;
};

// Rows of one output port (port != null) or of every output port in tree order. An item that
// passes no signals on gives no rows.
std::vector<TSignalListRow> SignalList(TDocument& doc, TItem* port = nullptr);

struct TCsvOptions {
  char separator = ',';
  bool cp1251 = false;  // spreadsheets that read the local code page
};
// CSV with a header line, CR LF line ends, fields quoted where they must be. A character cp1251
// cannot hold becomes "?" in that form.
std::string SignalListCsv(const std::vector<TSignalListRow>& rows, const TCsvOptions& opt = {});
std::string SignalListJson(const std::vector<TSignalListRow>& rows);

}  // namespace t32
