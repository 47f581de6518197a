#include "iec104/station.h"

#include <cstdio>
#include <cstring>

#include "model/cp1251.h"

namespace t32 {

// ---------------------------------------------------------------------------------------------
// Tables.

const std::array<TKindInfo, 14> kKinds = {{
    {kKindTS, "TS", "одноэлементная информация ", "TTSitem"},
    {kKindTS2, "TS", "двухэлементная информация ", "TTS2Item"},
    {kKindVTI, "VTI", "информация о положении отпаек", "TVTIitem"},
    {kKindTS32, "TS32", "32-разрядное целое", "TTS32item"},
    {kKindMTS, "MTS", "мультиразрядные ТС", "TMultiTSitem"},
    {kKindTI, "TI", "измерения ", "TTIitem"},
    {kKindCounter, "ТII", "интегральные суммы", "TCounterItem"},
    {kKindTU1, "TU1", "однопозиционные команды", "TTU1posItem"},
    {kKindTU2, "TU2", "двухпозиционные команды", "TTUItem"},
    {kKindTR, "TR", "запись уставки (регулирование)", "TTRItem"},
    {kKindRTU, "RTU", "диагностика связи с RTU", "TRTUitem"},
    {kKindPort, "port", "буфер порта связи", "TPortItem"},
    {kKindFile, "file", "файлы", "TFileItem"},
    {kKindLog, "log", "запись журнала РЗА", "TRZAlogitem"},
}};

const TKindInfo* KindInfo(std::int32_t code) {
  for (const auto& k : kKinds)
    if (k.code == code) return &k;
  return nullptr;
}

std::int32_t KindByShortName(std::string_view name) {
  for (const auto& k : kKinds)
    if (name == k.shortName) return k.code;
  return 0;
}

const char* KindShortName(std::int32_t code) {
  const TKindInfo* k = KindInfo(code);
  return k ? k->shortName : "";
}

const std::array<TSendType, 44> kSendTypes = {{
    {1, "M_SP_NA_1"},   {2, "M_SP_TA_1"},   {30, "M_SP_TB_1"},  {3, "M_DP_NA_1"},   {4, "M_DP_TA_1"},
    {31, "M_DP_TB_1"},  {5, "M_ST_NA_1"},   {6, "M_ST_TA_1"},   {32, "M_ST_TB_1"},  {9, "M_ME_NA_1"},
    {10, "M_ME_TA_1"},  {34, "M_ME_TD_1"},  {11, "M_ME_NB_1"},  {12, "M_ME_TB_1"},  {35, "M_ME_TE_1"},
    {13, "M_ME_NC_1"},  {14, "M_ME_TC_1"},  {36, "M_ME_TF_1"},  {15, "M_IT_NA_1"},  {16, "M_IT_TA_1"},
    {37, "M_IT_TB_1"},  {45, "C_SC_NA_1"},  {46, "C_DC_NA_1"},  {48, "C_SE_NA_1"},  {49, "C_SE_NB_1"},
    {58, "C_SC_TA_1"},  {59, "C_DC_TA_1"},  {61, "C_SE_TA_1"},  {62, "C_SE_TB_1"},  {100, "C_IC_NA_1"},
    {101, "C_CI_NA_1"}, {102, "C_RD_NA_1"}, {103, "C_CS_NA_1"}, {105, "C_RP_NA_1"}, {70, "M_EI_NA_1"},
    {33, "M_BO_TB_1"},  {120, "F_FR_NA_1"}, {121, "F_SR_NA_1"}, {122, "F_SC_NA_1"}, {123, "F_LS_NA_1"},
    {124, "F_AF_NA_1"}, {125, "F_SG_NA_1"}, {126, "F_DR_NA_1"}, {174, "ARRAY"},
}};

std::int32_t SendTypeByName(std::string_view name) {
  for (const auto& t : kSendTypes)
    if (name == t.name) return t.code;
  // The standard's own name of the directory type.
  if (name == "F_DR_TA_1") return 126;
  return 0;
}

const char* SendTypeName(std::int32_t code) {
  for (const auto& t : kSendTypes)
    if (t.code == code) return t.name;
  return "";
}

const std::array<const char*, 2> kAskCommands = {"код 100 - команда опроса ",
                                                  "код 101 - команда опроса счетчиков"};
const std::array<TAskEntry, 17> kAsk100 = {{
    {20, "общий опрос станции"}, {21, "опрос группы 1"},  {22, "опрос группы 2 "},  {23, "опрос группы 3 "},
    {24, "опрос группы 4 "},     {25, "опрос группы 5 "}, {26, "опрос группы 6 "},  {27, "опрос группы 7 "},
    {28, "опрос группы 8 "},     {29, "опрос группы 9 "}, {30, "опрос группы 10"},  {31, "опрос группы 11"},
    {32, "опрос группы 12"},     {33, "опрос группы 13"}, {34, "опрос группы 14"},  {35, "опрос группы 15"},
    {36, "опрос группы 16"},
}};
const std::array<TAskEntry, 6> kAsk101 = {{
    {0, "не опрашивается"}, {1, "запрос группы 1"}, {2, "запрос группы 2 "},
    {3, "запрос группы 3 "}, {4, "запрос группы 4 "}, {5, "общий запрос счетчиков"},
}};

int AskSelectorCount(int command) {
  return command == 0 ? static_cast<int>(kAsk100.size()) : command == 1 ? static_cast<int>(kAsk101.size()) : 0;
}

const std::array<const char*, 4> kCommandQualifiers = {"нет", "короткий импульс", "длинный импульс",
                                                        "постоянный выход"};
const std::array<const char*, 2> kSetPointFormats = {"масштабированное значение ( id 49h)",
                                                      "нормализовааное значение ( id 48h)"};
const std::array<const char*, 3> kLogDataTypes = {"целочисленный", "вещественный", "время МРххх"};

const char* const kStationTooLarge = "Параметры станции не могут занимать больше 1 МБ: операция отменена";

bool StationTextFits(std::string_view utf8) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  std::size_t chars = 0;
  for (std::size_t i = 0; i < utf8.size(); ++chars) {
    if (p[i] < 0x80) {
      ++i;
    } else if ((p[i] == 0xD0 || p[i] == 0xD1) && i + 1 < utf8.size() && (p[i + 1] & 0xC0) == 0x80) {
      char32_t c = (char32_t(p[i] & 0x1F) << 6) | (p[i + 1] & 0x3F);
      if (c < 0x410 || c > 0x44F) return false;  // other letters take the general check
      i += 2;
    } else {
      return false;
    }
  }
  return chars <= 255;
}

std::string FitStationText(std::string_view utf8, bool* replaced, bool* cut) {
  if (replaced) *replaced = false;
  if (cut) *cut = false;
  if (StationTextFits(utf8)) return std::string(utf8);
  bool lossless = true;
  std::string cp = Utf8ToCp1251(utf8, &lossless);
  if (replaced) *replaced = !lossless;
  if (cut) *cut = cp.size() > 255;
  if (lossless && cp.size() <= 255) return std::string(utf8);
  if (cp.size() > 255) cp.resize(255);
  return Cp1251ToUtf8(cp);
}

// ---------------------------------------------------------------------------------------------
// Objects.

namespace {

// Length in the block of a text: one cp1251 byte per character, at most 255.
std::size_t StoredLength(const std::string& utf8) {
  bool ascii = true;
  for (char c : utf8)
    if (static_cast<unsigned char>(c) >= 0x80) { ascii = false; break; }
  std::size_t n = ascii ? utf8.size() : Utf8Length(utf8);
  return n > 255 ? 255 : n;
}

// Texts are converted on every write and read of a large station, so the common case
// (Latin and Cyrillic letters, at most 255 of them) goes through small tables without
// allocating; anything else takes the general codec.
bool PutText(TMemStream& s, const std::string& utf8) {
  unsigned char buf[257];  // length byte, up to 255 characters and one more to see a longer text
  std::size_t n = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t len = utf8.size();
  for (std::size_t i = 0; i < len && n <= 255;) {
    unsigned char b = p[i];
    if (b < 0x80) {
      buf[1 + n++] = b;
      ++i;
    } else if ((b == 0xD0 || b == 0xD1) && i + 1 < len && (p[i + 1] & 0xC0) == 0x80) {
      char32_t c = (char32_t(b & 0x1F) << 6) | (p[i + 1] & 0x3F);
      if (c < 0x410 || c > 0x44F) return s.PutShortString(Utf8ToCp1251(utf8));
      buf[1 + n++] = static_cast<unsigned char>(0xC0 + (c - 0x410));
      i += 2;
    } else {
      return s.PutShortString(Utf8ToCp1251(utf8));
    }
  }
  if (n > 255) return s.PutShortString(Utf8ToCp1251(utf8));
  buf[0] = static_cast<unsigned char>(n);
  return s.MemPut(buf, n + 1);
}

bool GetText(TMemStream& s, std::string& utf8) {
  struct Seq {
    std::uint8_t len;
    char b[3];
  };
  static const std::array<Seq, 256> table = [] {
    std::array<Seq, 256> t{};
    for (int i = 0; i < 256; ++i) {
      char c = static_cast<char>(i);
      std::string u = Cp1251ToUtf8(std::string_view(&c, 1));
      t[i].len = static_cast<std::uint8_t>(u.size());
      std::memcpy(t[i].b, u.data(), u.size());
    }
    return t;
  }();
  std::uint8_t n = 0;
  unsigned char cp[255];
  if (!s.MemGet(&n, 1) || !s.MemGet(cp, n)) return false;
  char out[255 * 3];
  std::size_t o = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Seq& q = table[cp[i]];
    std::memcpy(out + o, q.b, 3);
    o += q.len;
  }
  utf8.assign(out, o);
  return true;
}

}  // namespace

std::unique_ptr<TPProcItem> TPProcItem::Clone() const {
  auto* c = new TPProcItem(*this);
  c->owner = nullptr;
  return std::unique_ptr<TPProcItem>(c);
}

void TPProcItem::Assign(const TPProcItem& src) {
  if (&src == this) return;
  name = src.name;
  address = src.address;
  if (src.Family() == Family()) AssignExtra(src);
}

bool TPProcItem::Write(TMemStream& s) const {
  const std::uint16_t v = 2;
  return PutText(s, name) && s.Put(v) && s.Put(flag) && s.Put(tick) && s.Put(address) && WriteExtra(s);
}

bool TPProcItem::Read(TMemStream& s) {
  return GetText(s, name) && s.Get(version) && s.Get(flag) && s.Get(tick) && s.Get(address) && ReadExtra(s);
}

std::size_t TPProcItem::SerialisedSize() const { return 4 + 1 + StoredLength(name) + 2 + 1 + 1 + 4 + ExtraSize(); }

void TMultiTSitem::AssignExtra(const TPProcItem& src) {
  const auto& o = static_cast<const TMultiTSitem&>(src);
  dataLength = o.dataLength;
  dataMask = o.dataMask;
}

bool TTIitem::WriteExtra(TMemStream& s) const { return s.Put(scale) && s.Put(offset) && s.Put(options); }

bool TTIitem::ReadExtra(TMemStream& s) {
  if (!s.Get(scale) || !s.Get(offset)) return false;
  return version < 2 || s.Get(options);
}

void TTIitem::AssignExtra(const TPProcItem& src) {
  const auto& o = static_cast<const TTIitem&>(src);
  scale = o.scale;
  offset = o.offset;
  options = o.options;
}

void TTUItem::AssignExtra(const TPProcItem& src) { options = static_cast<const TTUItem&>(src).options; }
void TTRItem::AssignExtra(const TPProcItem& src) { options = static_cast<const TTRItem&>(src).options; }

bool TFileItem::WriteExtra(TMemStream& s) const { return s.Put(fileId) && s.Put(delay) && PutText(s, fileName); }
bool TFileItem::ReadExtra(TMemStream& s) { return s.Get(fileId) && s.Get(delay) && GetText(s, fileName); }
std::size_t TFileItem::ExtraSize() const { return 2 + 2 + 1 + StoredLength(fileName); }

void TFileItem::AssignExtra(const TPProcItem& src) {
  const auto& o = static_cast<const TFileItem&>(src);
  fileId = o.fileId;
  delay = o.delay;
  fileName = o.fileName;
}

float TRZAlogitem::Offset() const {
  float v;
  std::memcpy(&v, element.data() + 4, 4);
  return v;
}
void TRZAlogitem::SetOffset(float v) { std::memcpy(element.data() + 4, &v, 4); }
float TRZAlogitem::Scale() const {
  float v;
  std::memcpy(&v, element.data() + 8, 4);
  return v;
}
void TRZAlogitem::SetScale(float v) { std::memcpy(element.data() + 8, &v, 4); }
std::uint64_t TRZAlogitem::Mask() const {
  std::uint64_t v;
  std::memcpy(&v, element.data() + 8, 8);
  return v;
}
void TRZAlogitem::SetMask(std::uint64_t v) { std::memcpy(element.data() + 8, &v, 8); }
void TRZAlogitem::AssignExtra(const TPProcItem& src) { element = static_cast<const TRZAlogitem&>(src).element; }

std::unique_ptr<TPProcItem> CreateObject(std::int32_t kind, std::string_view name) {
  std::unique_ptr<TPProcItem> o;
  switch (kind) {
    case kKindTS: o = std::make_unique<TTSitem>(kind); break;
    case kKindTS2: o = std::make_unique<TTS2Item>(kind); break;
    case kKindVTI: o = std::make_unique<TVTIitem>(kind); break;
    case kKindTS32: o = std::make_unique<TTS32item>(kind); break;
    case kKindMTS: o = std::make_unique<TMultiTSitem>(kind); break;
    case kKindTI: o = std::make_unique<TTIitem>(kind); break;
    case kKindCounter: o = std::make_unique<TCounterItem>(kind); break;
    case kKindTU1: o = std::make_unique<TTU1posItem>(kind); break;
    case kKindTU2: o = std::make_unique<TTUItem>(kind); break;
    case kKindTR: o = std::make_unique<TTRItem>(kind); break;
    case kKindRTU: o = std::make_unique<TRTUitem>(kind); break;
    case kKindPort: o = std::make_unique<TPortItem>(kind); break;
    case kKindFile: o = std::make_unique<TFileItem>(kind); break;
    case kKindLog: o = std::make_unique<TRZAlogitem>(kind); break;
    // Codes of the built-in classes: plain objects that yield no signal.
    case 996: case 998: case 1000: o = std::make_unique<TPProcItem>(kind); break;
    default: return nullptr;
  }
  o->name = std::string(name);
  return o;
}

// ---------------------------------------------------------------------------------------------
// Nodes.

std::string TStreamError::Message() const {
  return "Ошибка в параметрах станции МЭК 104 (байт " + std::to_string(position) + "): " + what;
}

TConfigItem::~TConfigItem() {
  // Frees the subtree without recursion, however deep it is.
  std::vector<std::unique_ptr<TGroup>> pending = std::move(children_);
  while (!pending.empty()) {
    std::unique_ptr<TGroup> g = std::move(pending.back());
    pending.pop_back();
    for (auto& c : g->children_) pending.push_back(std::move(c));
    g->children_.clear();
  }
}

int TConfigItem::Depth() const {
  int d = 0;
  for (const TConfigItem* p = parent_; p; p = p->parent_) ++d;
  return d;
}

std::string TConfigItem::PathName() const {
  std::vector<const TConfigItem*> chain;
  for (const TConfigItem* p = this; p && !p->IsStation(); p = p->parent_) chain.push_back(p);
  std::string r;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!r.empty()) r += '.';
    r += (*it)->name;
  }
  return r;
}

TGroup* TConfigItem::AddChild(std::unique_ptr<TGroup> child) { return InsertChild(children_.size(), std::move(child)); }

TGroup* TConfigItem::InsertChild(std::size_t index, std::unique_ptr<TGroup> child) {
  if (!child) return nullptr;
  child->parent_ = this;
  if (index > children_.size()) index = children_.size();
  return children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(index), std::move(child))->get();
}

std::unique_ptr<TGroup> TConfigItem::TakeChild(TGroup* child) {
  for (auto it = children_.begin(); it != children_.end(); ++it)
    if (it->get() == child) {
      std::unique_ptr<TGroup> g = std::move(*it);
      children_.erase(it);
      g->parent_ = nullptr;
      return g;
    }
  return nullptr;
}

void TConfigItem::RemoveChild(TGroup* child) { TakeChild(child); }

void TConfigItem::ClearChildren() {
  for (auto& c : children_) c->parent_ = nullptr;
  children_.clear();
}

std::size_t TConfigItem::EraseObjects(const std::vector<bool>& erase) {
  std::size_t kept = 0, n = objects_.size();
  for (std::size_t i = 0; i < n; ++i)
    if (i >= erase.size() || !erase[i]) objects_[kept++] = std::move(objects_[i]);
  objects_.resize(kept);
  return n - kept;
}

TGroup* TConfigItem::FindChild(std::string_view exactName) const {
  for (const auto& c : children_)
    if (c->name == exactName) return c.get();
  return nullptr;
}

TPProcItem* TConfigItem::AddObject(std::unique_ptr<TPProcItem> obj) { return InsertObject(objects_.size(), std::move(obj)); }

TPProcItem* TConfigItem::InsertObject(std::size_t index, std::unique_ptr<TPProcItem> obj) {
  if (!obj) return nullptr;
  obj->owner = this;
  if (index > objects_.size()) index = objects_.size();
  return objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(index), std::move(obj))->get();
}

std::unique_ptr<TPProcItem> TConfigItem::TakeObject(std::size_t index) {
  if (index >= objects_.size()) return nullptr;
  std::unique_ptr<TPProcItem> o = std::move(objects_[index]);
  objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(index));
  o->owner = nullptr;
  return o;
}

void TConfigItem::ClearObjects() { objects_.clear(); }

TPProcItem* TConfigItem::FindObject(std::string_view exactName) const {
  for (const auto& o : objects_)
    if (o->name == exactName) return o.get();
  return nullptr;
}

std::size_t TConfigItem::IndexOf(const TPProcItem* obj) const {
  for (std::size_t i = 0; i < objects_.size(); ++i)
    if (objects_[i].get() == obj) return i;
  return static_cast<std::size_t>(-1);
}

void TConfigItem::TakeTree(TConfigItem& o) {
  ClearChildren();
  objects_.clear();
  for (auto& c : o.children_) {
    c->parent_ = this;
    children_.push_back(std::move(c));
  }
  o.children_.clear();
  for (auto& ob : o.objects_) {
    ob->owner = this;
    objects_.push_back(std::move(ob));
  }
  o.objects_.clear();
}

// The block is the nodes in pre-order: each node's header, records, objects and child count,
// followed by its children. Both directions walk it with an explicit stack.
bool TConfigItem::WriteTo(TMemStream& s) const {
  std::vector<const TConfigItem*> stack{this};
  while (!stack.empty()) {
    const TConfigItem* n = stack.back();
    stack.pop_back();
    const std::uint32_t three = 3;
    if (!s.Put(three) || !s.Put(three) || !PutText(s, n->name) || !PutText(s, n->alias) || !n->WriteRecords(s))
      return false;
    std::uint32_t count = n->IsStation() ? 0 : static_cast<std::uint32_t>(n->objects_.size());
    if (!s.Put(count)) return false;
    for (std::uint32_t i = 0; i < count; ++i)
      if (!s.Put(n->objects_[i]->kind) || !n->objects_[i]->Write(s)) return false;
    std::uint32_t kids = static_cast<std::uint32_t>(n->children_.size());
    if (!s.Put(kids)) return false;
    for (auto it = n->children_.rbegin(); it != n->children_.rend(); ++it) stack.push_back(it->get());
  }
  return true;
}

std::size_t TConfigItem::SerialisedSize() const {
  std::size_t total = 0;
  std::vector<const TConfigItem*> stack{this};
  while (!stack.empty()) {
    const TConfigItem* n = stack.back();
    stack.pop_back();
    total += 4 + 4 + 1 + StoredLength(n->name) + 1 + StoredLength(n->alias) + n->RecordsSize() + 4 + 4;
    if (!n->IsStation())
      for (const auto& o : n->objects_) total += o->SerialisedSize();
    for (const auto& c : n->children_) stack.push_back(c.get());
  }
  return total;
}

std::vector<std::uint8_t> TConfigItem::Serialise() const {
  std::vector<std::uint8_t> buf(SerialisedSize());
  TMemStream s(buf.data(), buf.size());
  WriteTo(s);
  return buf;
}

namespace {

// The smallest serialised object (kind, empty name, version, flag, tick, address) and group.
constexpr std::size_t kMinObjectBytes = 4 + 1 + 2 + 1 + 1 + 4;
constexpr std::size_t kMinGroupBytes = 4 + 4 + 1 + 1 + 32 + 4 + 4;

struct TReadState {
  TMemStream& s;
  TStreamError* error;
  bool Fail(std::size_t at, std::string what) {
    if (error) {
      error->position = at;
      error->what = std::move(what);
    }
    return false;
  }
};

}  // namespace

bool TConfigItem::ReadTree(TMemStream& s, TConfigItem& fresh, int depth, TStreamError* error) {
  TReadState st{s, error};
  const char* const kCut = "данные оборваны";
  // Reads one node's own part; `children` gets its child count.
  auto readNode = [&](TConfigItem& n, std::uint32_t& children) {
    std::size_t at = s.Left() == 0 ? s.Size() : static_cast<std::size_t>(s.MemPos());
    std::uint32_t ver = 0, header = 0;
    if (!s.Get(ver)) return st.Fail(at, kCut);
    if (ver != 3) return st.Fail(at, "версия " + std::to_string(ver) + " не поддерживается");
    at = static_cast<std::size_t>(s.MemPos());
    if (!s.Get(header)) return st.Fail(at, kCut);
    at = static_cast<std::size_t>(s.MemPos());
    if (!GetText(s, n.name)) return st.Fail(at, kCut);
    at = static_cast<std::size_t>(s.MemPos());
    if (!GetText(s, n.alias)) return st.Fail(at, kCut);
    at = static_cast<std::size_t>(s.MemPos());
    if (!n.ReadRecords(s)) return st.Fail(at, kCut);
    at = static_cast<std::size_t>(s.MemPos());
    std::uint32_t count = 0;
    if (!s.Get(count)) return st.Fail(at, kCut);
    if (n.IsStation() && count != 0)
      return st.Fail(at, "у станции не может быть своих объектов (" + std::to_string(count) + ")");
    if (count > s.Left() / kMinObjectBytes)
      return st.Fail(at, "объектов (" + std::to_string(count) + ") больше, чем вмещают оставшиеся данные");
    for (std::uint32_t i = 0; i < count; ++i) {
      at = static_cast<std::size_t>(s.MemPos());
      std::int32_t kind = 0;
      if (!s.Get(kind)) return st.Fail(at, kCut);
      std::unique_ptr<TPProcItem> o = CreateObject(kind);
      if (!o) return st.Fail(at, "неизвестный тип объекта " + std::to_string(kind));
      at = static_cast<std::size_t>(s.MemPos());
      if (!o->Read(s)) return st.Fail(at, kCut);
      n.AddObject(std::move(o));
    }
    at = static_cast<std::size_t>(s.MemPos());
    if (!s.Get(children)) return st.Fail(at, kCut);
    if (children > s.Left() / kMinGroupBytes)
      return st.Fail(at, "групп (" + std::to_string(children) + ") больше, чем вмещают оставшиеся данные");
    return true;
  };
  std::uint32_t kids = 0;
  if (!readNode(fresh, kids)) return false;
  std::vector<std::pair<TConfigItem*, std::uint32_t>> stack{{&fresh, kids}};
  while (!stack.empty()) {
    auto& [node, left] = stack.back();
    if (left == 0) {
      stack.pop_back();
      continue;
    }
    --left;
    TConfigItem* parent = node;
    if (static_cast<int>(stack.size()) + depth > kMaxGroupDepth)
      return st.Fail(static_cast<std::size_t>(s.MemPos()),
                     "вложенность групп больше " + std::to_string(kMaxGroupDepth));
    TGroup* g = parent->AddChild(std::make_unique<TGroup>(3));
    if (!readNode(*g, kids)) return false;
    stack.emplace_back(g, kids);
  }
  return true;
}

// ----- Group.

void TGroup::Assign(const TGroup& src) {
  if (&src == this) return;
  name = src.name;
  alias = src.alias;
  record = src.record;
}

std::unique_ptr<TGroup> TGroup::DeepCopy() const {
  auto top = std::make_unique<TGroup>(level);
  std::vector<std::pair<const TGroup*, TGroup*>> stack{{this, top.get()}};
  while (!stack.empty()) {
    auto [src, dst] = stack.back();
    stack.pop_back();
    dst->Assign(*src);
    dst->version = src->version;
    for (const auto& o : src->Objects()) dst->AddObject(o->Clone());
    for (const auto& c : src->Children()) {
      TGroup* d = dst->AddChild(std::make_unique<TGroup>(c->level));
      stack.emplace_back(c.get(), d);
    }
  }
  return top;
}

bool TGroup::SetKind(std::int32_t kind) {
  if (!KindInfo(kind)) return false;
  if (kind == record.kind) return true;
  std::vector<std::unique_ptr<TPProcItem>> converted;
  converted.reserve(Objects().size());
  for (const auto& o : Objects()) {
    std::unique_ptr<TPProcItem> n = CreateObject(kind);
    n->Assign(*o);
    n->tick = o->tick;
    n->flag = o->flag;
    converted.push_back(std::move(n));
  }
  ClearObjects();
  for (auto& n : converted) AddObject(std::move(n));
  record.kind = kind;
  record.sendType = 0;
  return true;
}

bool TGroup::WriteRecords(TMemStream& s) const {
  const TGroupRecord& r = record;
  return s.Put(r.baseAddress) && s.Put(r.kind) && s.Put(r.askCommand) && s.Put(r.askSelector) &&
         s.Put(r.askPeriod) && s.Put(r.commonAddress) && s.Put(r.sendType) && s.MemPut(r.held.data(), 12);
}

bool TGroup::ReadRecords(TMemStream& s) {
  TGroupRecord& r = record;
  return s.Get(r.baseAddress) && s.Get(r.kind) && s.Get(r.askCommand) && s.Get(r.askSelector) &&
         s.Get(r.askPeriod) && s.Get(r.commonAddress) && s.Get(r.sendType) && s.MemGet(r.held.data(), 12);
}

bool TGroup::ReadFrom(TMemStream& s, TStreamError* error) {
  TGroup fresh(level);
  if (!ReadTree(s, fresh, Depth() > 0 ? Depth() : 1, error)) return false;
  version = 3;
  name = fresh.name;
  alias = fresh.alias;
  record = fresh.record;
  TakeTree(fresh);
  return true;
}

// ----- Station.

namespace {

bool PutChannel(TMemStream& s, const TChannel104& c, std::int32_t version) {
  return s.Put(version) && s.MemPut(c.localIp.data(), 4) && s.Put(c.t0) && s.Put(c.reconnect) && s.Put(c.t1) &&
         s.Put(c.t2) && s.Put(c.t3) && s.Put(c.k) && s.Put(c.w) && s.MemPut(c.remoteIp.data(), 4);
}

bool GetChannel(TMemStream& s, TChannel104& c) {
  return s.Get(c.version) && s.MemGet(c.localIp.data(), 4) && s.Get(c.t0) && s.Get(c.reconnect) && s.Get(c.t1) &&
         s.Get(c.t2) && s.Get(c.t3) && s.Get(c.k) && s.Get(c.w) && s.MemGet(c.remoteIp.data(), 4);
}

}  // namespace

TWS_104::TWS_104() : TConfigItem(2) {
  MakeBuiltIns();
  Activate();
}

void TWS_104::MakeBuiltIns() {
  ClearObjects();
  auto ps = std::make_unique<TPSitem>(kKindTS32);
  ps->name = "состояние связи";
  ps->tick = 1;
  AddObject(std::move(ps));
  auto ask = std::make_unique<TKPAskItem>(kKindTR);
  ask->name = "опрос";
  ask->tick = 1;
  AddObject(std::move(ask));
}

void TWS_104::Activate() {
  active = main;
  activePort = extra.mainPort;
}

std::string TWS_104::Caption() const {
  if (!name.empty()) return name;
  return OctetsToIpText(main.remoteIp.data());
}

std::size_t TWS_104::RecordsSize() const { return 40 + 40 + 16 + 20; }

bool TWS_104::WriteRecords(TMemStream& s) const {
  const TStationSettings& g = settings;
  const TStationExtra& e = extra;
  return PutChannel(s, main, 4) && PutChannel(s, reserve, reserve.version) && s.Put(g.commonAddress) &&
         s.Put(g.commandsWithTime) && s.Put(g.setPointsWithTime) && s.Put(g.giInterval) && s.Put(g.syncInterval) &&
         s.Put(g.noSyncOnConnect) && s.Put(g.extraChecksum) && s.Put(g.noGiOnConnect) && s.Put(g.linkLossDelay) &&
         s.Put(g.switchedOff) && s.Put(e.mainPort) && s.Put(e.held1) && s.Put(e.askTimeout) &&
         s.Put(e.toReserveAfter) && s.Put(e.retryMainEvery) && s.Put(e.reservePort) && s.MemPut(e.held2.data(), 6);
}

bool TWS_104::ReadRecords(TMemStream& s) {
  // Older layouts stop earlier: the main record's version says which records follow.
  if (!GetChannel(s, main)) return false;
  const std::int32_t v = main.version;
  if (v > 3 && !GetChannel(s, reserve)) return false;
  TStationSettings& g = settings;
  if (v > 1 && !(s.Get(g.commonAddress) && s.Get(g.commandsWithTime) && s.Get(g.setPointsWithTime) &&
                 s.Get(g.giInterval) && s.Get(g.syncInterval) && s.Get(g.noSyncOnConnect) &&
                 s.Get(g.extraChecksum) && s.Get(g.noGiOnConnect) && s.Get(g.linkLossDelay) && s.Get(g.switchedOff)))
    return false;
  TStationExtra& e = extra;
  if (v > 2 && !(s.Get(e.mainPort) && s.Get(e.held1) && s.Get(e.askTimeout) && s.Get(e.toReserveAfter) &&
                 s.Get(e.retryMainEvery) && s.Get(e.reservePort) && s.MemGet(e.held2.data(), 6)))
    return false;
  return true;
}

bool TWS_104::ReadFrom(TMemStream& s, TStreamError* error) {
  TWS_104 fresh;
  fresh.ClearObjects();
  if (!ReadTree(s, fresh, 0, error)) return false;
  TakeFrom(fresh);
  return true;
}

void TWS_104::TakeFrom(TWS_104& o) {
  version = 3;
  name = o.name;
  alias = o.alias;
  main = o.main;
  reserve = o.reserve;
  settings = o.settings;
  extra = o.extra;
  TakeTree(o);
  MakeBuiltIns();
  Activate();
}

std::unique_ptr<TWS_104> TWS_104::DeepCopy() const {
  auto c = std::make_unique<TWS_104>();
  c->name = name;
  c->alias = alias;
  c->main = main;
  c->reserve = reserve;
  c->settings = settings;
  c->extra = extra;
  c->groupCounter_ = groupCounter_;
  c->tagCounter_ = tagCounter_;
  for (const auto& g : Children()) c->AddChild(g->DeepCopy());
  c->Activate();
  return c;
}

void TWS_104::ListTicked(std::vector<std::pair<std::string, TPProcItem*>>& out) const {
  out.clear();
  std::vector<const TConfigItem*> stack{this};
  while (!stack.empty()) {
    const TConfigItem* n = stack.back();
    stack.pop_back();
    std::string path = n->PathName();
    for (const auto& o : n->Objects())
      if (o->tick == 1) out.emplace_back(path.empty() ? o->name : path + "." + o->name, o.get());
    for (auto it = n->Children().rbegin(); it != n->Children().rend(); ++it) stack.push_back(it->get());
  }
}

namespace {
template <class F> void ForEachObject(const TConfigItem& root, F f) {
  std::vector<const TConfigItem*> stack{&root};
  while (!stack.empty()) {
    const TConfigItem* n = stack.back();
    stack.pop_back();
    for (const auto& o : n->Objects()) f(*o);
    for (const auto& c : n->Children()) stack.push_back(c.get());
  }
}
}  // namespace

void TWS_104::TickAll() {
  ForEachObject(*this, [](TPProcItem& o) { o.tick = 1; });
}

void TWS_104::UntickAll() {
  ForEachObject(*this, [](TPProcItem& o) { o.tick = o.BuiltIn() ? 1 : 0; });
}

std::string TWS_104::AddressText(const TPProcItem& obj) {
  std::int32_t base = obj.owner ? obj.owner->BaseAddress() : 0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d [%4.4xh]", obj.address,
                static_cast<unsigned>(static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(obj.address)));
  return buf;
}

// ---------------------------------------------------------------------------------------------
// The text of `iec104 show`.

namespace {

std::string Num(long long v) { return std::to_string(v); }

std::string Float(float f) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(f));
  return buf;
}

std::string Channel(const char* title, const TChannel104& c, std::uint16_t port) {
  return std::string(title) + ": LocalIP=" + OctetsToIpText(c.localIp.data()) +
         " RemoteIP=" + OctetsToIpText(c.remoteIp.data()) + " Port=" + Num(port) +
         " ReconnectInterval=" + Num(c.reconnect) + " t0=" + Num(c.t0) + " t1=" + Num(c.t1) + " t2=" + Num(c.t2) +
         " t3=" + Num(c.t3) + " k=" + Num(c.k) + " w=" + Num(c.w) + "\n";
}

std::string Extras(const TPProcItem& o) {
  switch (o.Family()) {
    case TFamily::kMeasure: {
      const auto& t = static_cast<const TTIitem&>(o);
      return " scale=" + Float(t.scale) + " offset=" + Float(t.offset) + " options=" + Num(t.options);
    }
    case TFamily::kMultiTS: {
      const auto& t = static_cast<const TMultiTSitem&>(o);
      return " datalen=" + Num(t.dataLength) + " datamask=" + Num(t.dataMask);
    }
    case TFamily::kCommand: return " options=" + Num(static_cast<const TTUItem&>(o).options);
    case TFamily::kSetPoint: return " options=" + Num(static_cast<const TTRItem&>(o).options);
    case TFamily::kFile: {
      const auto& t = static_cast<const TFileItem&>(o);
      return " fileID=" + Num(t.fileId) + " delay=" + Num(t.delay) + " filename=\"" + t.fileName + "\"";
    }
    case TFamily::kLog: {
      const auto& t = static_cast<const TRZAlogitem&>(o);
      return " size=" + Num(t.Size()) + " type=" + Num(t.DataType()) + " offset=" + Float(t.Offset()) +
             (t.DataType() == 1 ? " scale=" + Float(t.Scale()) : " mask=" + Num(static_cast<long long>(t.Mask())));
    }
    case TFamily::kPlain: break;
  }
  return {};
}

}  // namespace

std::string DumpStation(const TWS_104& st) {
  const TStationSettings& g = st.settings;
  const TStationExtra& e = st.extra;
  std::string r = "station \"" + st.name + "\" ASDUaddr=" + Num(g.commonAddress) + "\n";
  r += "common: BreakTO=" + Num(g.linkLossDelay) + " ResvChannelTO=" + Num(e.toReserveAfter) +
       " CheckBaseChannelInterval=" + Num(e.retryMainEvery) + " AskInterval=" + Num(g.giInterval) +
       " AskTO=" + Num(e.askTimeout) + " SyncInterval=" + Num(g.syncInterval) +
       " AskOnConnect=" + Num(!g.noGiOnConnect) + " SyncOnConnect=" + Num(!g.noSyncOnConnect) +
       " ExtraCS=" + Num(g.extraChecksum) + "\n";
  r += "control: TUwithTimeTag=" + Num(g.commandsWithTime) + " TRwithTimeTag=" + Num(g.setPointsWithTime) + "\n";
  r += Channel("main", st.main, e.mainPort);
  r += Channel("reserve", st.reserve, e.reservePort);
  std::vector<const TConfigItem*> stack{&st};
  while (!stack.empty()) {
    const TConfigItem* n = stack.back();
    stack.pop_back();
    std::string path = n->PathName();
    if (!n->IsStation()) {
      const TGroupRecord& gr = static_cast<const TGroup*>(n)->record;
      r += "group " + path + ": type=" + (KindInfo(gr.kind) ? KindShortName(gr.kind) : Num(gr.kind).c_str()) +
           " ASDUaddr=" + Num(gr.commonAddress) + " Baseaddr=" + Num(gr.baseAddress) +
           " AskType=" + Num(gr.askCommand == 0 ? 100 : gr.askCommand == 1 ? 101 : gr.askCommand) +
           " AskSelector=" + Num(gr.askSelector) + " AskPeriod=" + Num(gr.askPeriod) +
           " sendtype=" + (SendTypeName(gr.sendType)[0] ? SendTypeName(gr.sendType) : Num(gr.sendType).c_str()) +
           (n->alias.empty() ? "" : " alias=\"" + n->alias + "\"") + "\n";
    }
    for (const auto& o : n->Objects()) {
      const char* shortName = KindShortName(o->kind);
      r += "  " + std::string(shortName[0] ? shortName : Num(o->kind).c_str()) + " " + TWS_104::AddressText(*o) +
           " " + (o->tick ? "+" : "-") + " " + (path.empty() ? o->name : path + "." + o->name) + (o->BuiltIn() ? "" : Extras(*o)) + "\n";
    }
    for (auto it = n->Children().rbegin(); it != n->Children().rend(); ++it) stack.push_back(it->get());
  }
  return r;
}

}  // namespace t32
