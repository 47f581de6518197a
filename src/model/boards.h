// The controller's I/O boards and their sub-items: serial boards and their channels, the
// modem, discrete input/output boards, analog boards with their ports and the universal board
// with its four ports. Each board writes one section with its settings, its sub-items and the
// source signal tables that name the signals it produces or drives.
#pragma once
#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "model/item.h"
#include "model/params.h"

namespace t32 {

class TConfig;
class TItemFactory;

// Registers every board with the factory (section code = menu tag).
void RegisterModelItems(TItemFactory& f);

// Address picker and choosers: what the other boards of the tree already use.
std::bitset<256> AddressesOfOtherBoards(const TDocument& doc, const TItem* except);
std::bitset<8> IrqsOfOtherBoards(const TDocument& doc, const TItem* except);

// Common ground of the boards and their ports.
class TBoard : public TBlock {
 public:
  TBoard();
  // Largest number SetAddress accepts (-1: the number is fixed).
  virtual int MaxNumber() const { return 14; }
  virtual const char* FrameCaption() const = 0;
  // Prefix of the signal names of this item's tables.
  virtual std::string Prefix() const;
  // Boards offer no interface to ports (only serial channels and the modem do).
  void ListInterfaces(TPort*, std::uint16_t, std::vector<TInterfaceEntry>&) override {}
  void SetAddress(int address) override;
  // Own source tables in child order, then the sub-items' tables.
  void EnumerateSignals(TStorageLists& lists) override;
  // ТУ blocking signals of every table below.
  void AfterLoad() override;

  // Source tables among the children (in order).
  std::vector<TParams*> Tables() const;
  TParams* Table(int type) const;

 protected:
  // Re-prefixes the tables (Build with count 0) and the sub-items'.
  virtual void Reprefix();
  TParams* AddTable(int type, int index = -1);
  void DeleteChild(TItem* child);
  void RebuildStorage();
  // Writes key 1..n of the short image's legacy lists from the table's default names:
  // row i goes to index i + 8 × (base − 1).
  void PutLegacyNames(const TParams* table, int base, std::uint8_t width);
};

// Reads children inside the parent's section only: a section past the parent's end is not
// taken for a child.
class TChildReader {
 public:
  // Call right after the parent entered its section (Pos just behind the section head).
  explicit TChildReader(TConfig& c);
  int Peek() const;  // code of the next child section, or -1
  void Load(TItem* child);
  void Skip();

 private:
  TConfig& c_;
  std::int32_t end_;
};

// Serial channel of a board (RS-232 or RS-485).
class TRS232 : public TBoard {
 public:
  static constexpr std::array<std::uint32_t, 9> kSpeeds{115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200, 600};
  TRS232();
  const char* ClassName() const override { return "TRS232"; }
  int SectionCode() const override { return 200; }
  const char* FrameCaption() const override { return "Интерфейс RS-232 / RS-485"; }
  int MaxNumber() const override { return 255; }
  void UpdateNode() override;
  std::string InterfaceText() const override;
  void ListInterfaces(TPort* port, std::uint16_t kinds, std::vector<TInterfaceEntry>& list) override {
    TBlock::ListInterfaces(port, kinds, list);
  }
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;

  void SetSpeed(std::uint32_t s);
  void SetParity(std::uint8_t p);
  void SetStopBits(std::uint8_t index);
  // 0 RS-232, 1 RS-485: name, interface kinds and caption follow.
  void SetInterface(std::uint8_t i);
  // Ramp-up and receive gap from speed, parity and stop bits.
  void RecomputeTimes();
  // The chooser is offered only when the bound port takes both RS-232 and RS-485.
  bool InterfaceChoosable() const;
  // Ramp-up, switch-off delay and TCP port apply to RS-485 only.
  bool Rs485FieldsEnabled() const { return iface == 1; }
  std::string BoundText() const;  // "Задействован": the bound port's caption or "Нет"

  std::uint32_t speed = 9600;
  std::uint8_t parity = 0;
  std::uint8_t iface = 1;
  std::uint8_t stopBits = 1;
  std::uint8_t gap = 3;
  std::uint8_t rampUp = 3;
  std::uint8_t offDelay = 0;
  std::uint16_t tcpPort = 0;
};

// Tone-frequency modem.
class TMVS4 : public TBoard {
 public:
  TMVS4();
  const char* ClassName() const override { return "TMVS4"; }
  int SectionCode() const override { return 1; }
  const char* FrameCaption() const override { return "Плата ПВС   ( модем для канала тональной частоты )"; }
  int MaxNumber() const override { return 255; }
  void ListInterfaces(TPort* port, std::uint16_t kinds, std::vector<TInterfaceEntry>& list) override {
    TBlock::ListInterfaces(port, kinds, list);
  }
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;

  // How the editor shows the fields for the protocol of the bound control-station port.
  struct Layout {
    bool modulationForced = false;  // "частотная", disabled
    bool freq1Enabled = true;
    std::string freq0Caption, freq1Caption;
    bool speedVisible = true, startVisible = true, delayVisible = true;
    std::string speedCaption = "Скорость, бод";
    bool pulse1Visible = false, pulse2Visible = false;
    std::string pulse1Caption, pulse2Caption;
  };
  Layout FrameLayout() const;

  std::uint8_t modulation = 1;  // 0 frequency, 1 phase
  std::uint16_t freq0 = 1800;
  std::uint16_t freq1 = 2717;
  std::uint16_t speed = 4800;
  std::uint16_t startSignal = 10;
  std::uint8_t offDelay = 0;
  std::uint8_t noiseCut = 20;
  std::uint8_t pulse1 = 0;
  std::uint8_t pulse2 = 0;
};

// Serial board with four (or eight) channels.
class TMPI4 : public TBoard {
 public:
  explicit TMPI4(int channels = 4);
  const char* ClassName() const override { return "TMPI4"; }
  int SectionCode() const override { return 9; }
  const char* FrameCaption() const override { return "Плата ППИ   (4 портa интерфейсов RS-232 / RS-485 )"; }
  int MaxNumber() const override { return 13; }
  void Create(TNode* n) override;
  void SetAddress(int address) override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  std::string OccupiedText() const;  // "Занимаемые адреса"
  std::vector<TRS232*> Channels() const;
  int ChannelCount() const { return channels_; }

 private:
  void AddChannel();
  void Renumber();
  int channels_;
};

// 32 ТС inputs.
class TDI32 : public TBoard {
 public:
  static constexpr std::array<const char*, 4> kDebounce{"40 нс", "400 нс", "4.5 мс", "140 мс "};
  TDI32();
  const char* ClassName() const override { return "TDI32"; }
  int SectionCode() const override { return 4; }
  const char* FrameCaption() const override { return "Плата DI32   ( 32 канала ввода TC )"; }
  void Create(TNode* n) override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  void SetDebounce(std::uint8_t index);

  std::uint8_t debounce = 2;
};

// Analog input port of the AI16 board.
class TAI8 : public TBoard {
 public:
  static constexpr std::array<const char*, 4> kRanges{"±10 В, ±80 мА", "±5 В,  ±40 мА", "±2.5 В, ±20 мА", "±1.25 В, ±10 мА"};
  explicit TAI8(int port = 1);
  const char* ClassName() const override { return "TAI8"; }
  int SectionCode() const override { return 209; }
  const char* FrameCaption() const override { return "Порт AI8   ( 4 - 256 каналов ввода TИ )"; }
  int MaxNumber() const override { return -1; }
  std::string Prefix() const override;
  void Create(TNode* n) override;
  void UpdateNode() override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  // Old images: the board hands over what it found in its own section.
  void LoadShort(std::uint8_t connectionMinus1, std::uint8_t mux, std::uint16_t zero, const std::uint8_t* ranges256);

  // 0 when not used; 32 per multiplexer (8 without), halved for a differential connection.
  int ChannelCount() const;
  void SetConnection(std::uint8_t c);
  void SetMultiplexers(std::uint8_t m);
  // Creates, resizes or deletes the ТИ table to match ChannelCount().
  void RebuildTable();
  std::string RangeRowHeader(int row) const;  // "%d - %d"

  std::uint8_t connection = 0;  // 0 not used, 1 single-ended, 2 differential
  std::uint8_t multiplexers = 0;
  std::int16_t zeroOffset = 0;
  std::array<std::uint8_t, 256> ranges{};
};

// Analog output port of the AI16 board.
class TAO2 : public TBoard {
 public:
  TAO2();
  const char* ClassName() const override { return "TAO2"; }
  int SectionCode() const override { return 210; }
  const char* FrameCaption() const override { return "Порт AO2   ( 2 канала выдачи ТР )"; }
  int MaxNumber() const override { return -1; }
  std::string Prefix() const override;
  void Create(TNode* n) override;
  void UpdateNode() override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void SetMode(std::uint8_t m);
  void RebuildTable();

  std::uint8_t mode = 0;  // 0 not used, 1 used: two ТР rows
  std::array<std::uint16_t, 2> riseTime{0, 0};
};

// Analog board: ports 1 and 2 (AI8) and 3 (AO2).
class TAI16 : public TBoard {
 public:
  TAI16();
  const char* ClassName() const override { return "TAI16"; }
  int SectionCode() const override { return 5; }
  const char* FrameCaption() const override { return "Плата AI16   ( 512 каналов TИ, 2 канала ТР )"; }
  void Create(TNode* n) override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  TAI8* Input(int i) const;  // 1 or 2
  TAO2* Output() const;

  std::uint8_t filterTime = 200;  // ms, 0..240 step 20
};

class TUnio96;

// Universal port of the UNIO96 board.
class TUnio24 : public TBoard {
 public:
  static constexpr std::array<const char*, 10> kModes{
      "Не использовать", "24 ТС   (TBI-24/0С)", "4 - 8 ТУ    (1 - 3 TBR-8) ", "8 - 24 выхода  (1 - 3 TBR-8)",
      "8 ТУ    (TBI-0/24С) ", "24 выхода  (TBI-0/24С)", "1-8 контрольных ТС   (TBI-24/0С)", "22 ТУ    (TBI-0/24С)",
      "4 - 12 ТУ    (1 - 3 TBR-8) ", "12 ТУ    (TBI-0/24С) "};
  explicit TUnio24(int port = 1);
  const char* ClassName() const override { return "TUnio24"; }
  int SectionCode() const override { return 201; }
  std::uint8_t KnownVersion() const override { return 2; }
  const char* FrameCaption() const override { return "Порт ввода-вывода UNIO24  (24 канала ввода-вывода )"; }
  int MaxNumber() const override { return -1; }
  std::string Prefix() const override;
  void UpdateNode() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;

  // Mode and controlled port changes rebuild the tables of all four ports of the board.
  void SetMode(std::uint8_t m);
  void SetLinkedPort(std::uint8_t p);
  bool TuTimeEnabled() const;
  // The table this mode asks for: its type (0: none) and rows.
  int WantedType() const;
  void RebuildTable();
  TUnio96* Board() const;

  // Board-driven loading steps (the mode-6 control signals depend on a neighbour read later).
  bool LoadKeys(TConfig& c);
  void LoadTable(TConfig& c);
  void PutShortLegacyNames();

  std::uint8_t mode = 0;
  std::uint8_t linkedPort = 1;
  std::uint16_t tuTime = 2000;
  std::uint8_t shortBase = 0;  // base from an old image, for its legacy names

 protected:
  // The mode-6 control signals are named from a list: a new board number re-prefixes them
  // with that list, not with numbered rows.
  void Reprefix() override { RebuildTable(); }
};

// Universal board with four UNIO24 ports.
class TUnio96 : public TBoard {
 public:
  static constexpr std::array<const char*, 4> kDebounce{"100 нс", "1,6 мкс", "4 мс", "120 мс "};
  TUnio96();
  const char* ClassName() const override { return "TUnio96"; }
  int SectionCode() const override { return 7; }
  const char* FrameCaption() const override { return "Плата UNIO96  ( 4 порта по 24 канала ввода-вывода )"; }
  void Create(TNode* n) override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  // After tree edits: exactly four ports numbered 1 to 4.
  void RecountChildren() override;
  TUnio24* Port(int number) const;  // 1..4 by number
  std::vector<TUnio24*> Ports() const;
  void RebuildPortTables();

  std::uint8_t debounce = 2;
  std::uint16_t tuTime = 2000;
};

// ТУ output board with self-check (a DO32 and a DI32 as one item).
class TDO32 : public TBoard {
 public:
  static constexpr std::array<const char*, 5> kModes{
      "15 ТУ по двухрелейной схеме", "28 ТУ по однорелейной схеме", "112 ТУ по групповой двухрелейной схеме",
      "96 ТУ по смешанной групповой двухрелейной схеме", "96 ТУ по смешанной групповой однорелейной схеме"};
  TDO32();
  const char* ClassName() const override { return "TDO32"; }
  int SectionCode() const override { return 15; }
  const char* FrameCaption() const override { return "Платы DO32 и DI32  ( 15 - 112 объектов TУ с самоконтролем )"; }
  int MaxNumber() const override { return -1; }
  void Create(TNode* n) override;
  void SetAddress(int) override {}
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig&) override {}
  void SetMode(std::uint8_t m);
  static int TuCount(int mode);
  static std::vector<std::string> TuNames(int mode);

  std::uint16_t tuTime = 2000;
  std::uint8_t mode = 0;

 private:
  void BuildTables(bool emptyTuFirst);
};

}  // namespace t32
