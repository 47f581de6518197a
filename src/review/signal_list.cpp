#include "review/signal_list.h"

#include <nlohmann/json.hpp>
#include <unordered_map>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/params.h"
#include "model/rawsection.h"
#include "model/storage.h"
#include "ports/output_port.h"
#include "review/diff.h"

namespace t32 {
namespace {

struct TSourcePlace {
  const TNode* owner = nullptr;  // the node whose source table holds the row
  int row = 0;
};

// Every source row of the document with the item and row that hold it. Sections kept as they
// stood hold source tables of their own: their rows are named by the kept node.
std::unordered_map<const TParam*, TSourcePlace> SourcePlaces(TDocument& doc) {
  std::unordered_map<const TParam*, TSourcePlace> map;
  doc.Tree().ForEach([&](TNode* n) {
    if (auto* t = dynamic_cast<TParams*>(n->Item()); t && t->IsSource()) {
      for (int i = 0; i < t->Count(); ++i)
        if (const TParam* r = t->At(i)) map.emplace(r, TSourcePlace{n->Parent(), i});
    } else if (auto* raw = dynamic_cast<TRawSection*>(n->Item())) {
      for (const auto& t : raw->SourceTables())
        for (int i = 0; i < t->Count(); ++i)
          if (const TParam* r = t->At(i)) map.emplace(r, TSourcePlace{n, i});
    }
  });
  return map;
}

void PortRows(TDocument& doc, TOutputPort& port, const std::unordered_map<const TParam*, TSourcePlace>& places,
              std::vector<TSignalListRow>& out) {
  std::string portPath = NodePath(port.node);
  for (int t = 1; t <= 6; ++t) {
    const TParams* p = port.Table(t);
    if (!p) continue;
    std::vector<std::string> addr = port.SignalAddressTexts(t, p->Count());
    for (int i = 0; i < p->Count(); ++i) {
      const TParam* r = p->At(i);
      TSignalListRow row;
      row.port = portPath;
      row.table = SignalTypeInfo(t).tableName;
      row.index = i;
      if (static_cast<std::size_t>(i) < addr.size()) row.address = addr[static_cast<std::size_t>(i)];
      if (r) {
        row.name = r->Name();
        row.unresolved = r->unresolved;
        if (!r->unresolved) {
          auto it = places.find(r);
          if (it != places.end() && it->second.owner) {
            const TNode* owner = it->second.owner;
            row.source = NodePath(owner);
            row.input = it->second.row + 1;
            row.storageIndex = doc.Storage().IndexOf(t, r);
            // The board is the top item under the controller (modules and channels of a
            // board are boards of their own class, but not what the cabinet's plate names).
            const TNode* board = owner;
            while (board && board->Parent() && board->Parent()->Parent()) board = board->Parent();
            if (board && !dynamic_cast<const TBlock*>(board->Item())) board = nullptr;
            if (board) row.board = board->caption;
            if (owner != board) row.channel = owner->caption;
          }
        }
      }
      out.push_back(std::move(row));
    }
  }
}

std::string CsvField(const std::string& s, char sep) {
  if (s.find_first_of(std::string("\"\r\n") + sep) == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

std::string Num(int v, bool show) { return show ? std::to_string(v) : std::string(); }

}  // namespace

std::vector<TSignalListRow> SignalList(TDocument& doc, TItem* port) {
  std::vector<TSignalListRow> out;
  auto places = SourcePlaces(doc);
  if (port) {
    if (auto* op = dynamic_cast<TOutputPort*>(port)) PortRows(doc, *op, places, out);
    return out;
  }
  doc.Tree().ForEach([&](TNode* n) {
    if (auto* op = dynamic_cast<TOutputPort*>(n->Item())) PortRows(doc, *op, places, out);
  });
  return out;
}

std::string SignalListCsv(const std::vector<TSignalListRow>& rows, const TCsvOptions& opt) {
  const char sep = opt.separator;
  std::string out;
  const char* head[] = {"Порт", "Таблица", "Индекс", "Имя", "Адрес", "Источник", "Индекс в хранилище",
                        "Плата", "Канал", "Вход"};
  for (std::size_t i = 0; i < std::size(head); ++i) {
    if (i) out += sep;
    out += head[i];
  }
  out += "\r\n";
  for (const auto& r : rows) {
    const std::string cells[] = {r.port,    r.table,  std::to_string(r.index),        r.name,
                                 r.address, r.source, Num(r.storageIndex, r.storageIndex >= 0),
                                 r.board,   r.channel, Num(r.input, r.input > 0)};
    for (std::size_t i = 0; i < std::size(cells); ++i) {
      if (i) out += sep;
      out += CsvField(cells[i], sep);
    }
    out += "\r\n";
  }
  return opt.cp1251 ? Utf8ToCp1251(out) : out;
}

std::string SignalListJson(const std::vector<TSignalListRow>& rows) {
  nlohmann::ordered_json arr = nlohmann::ordered_json::array();
  for (const auto& r : rows) {
    nlohmann::ordered_json o;
    o["port"] = r.port;
    o["table"] = r.table;
    o["index"] = r.index;
    o["name"] = r.name;
    o["address"] = r.address;
    if (!r.source.empty()) o["source"] = r.source;
    if (r.storageIndex >= 0) o["storageIndex"] = r.storageIndex;
    if (!r.board.empty()) o["board"] = r.board;
    if (!r.channel.empty()) o["channel"] = r.channel;
    if (r.input > 0) o["input"] = r.input;
    if (r.unresolved) o["unresolved"] = true;
    arr.push_back(std::move(o));
  }
  return arr.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace t32
