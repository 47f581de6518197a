// Configuration files (".cfg") and the same bytes as sent to and read from the controller:
// the 144-byte file head, the records, the zero fill and the 16-bit sum; scrambled for the
// CPU-927 (type 7), and compressed as well for its newer programs (type 9).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace t32 {

class TDocument;

enum class TCpu { Cpu6358 = 0, Cpu927 = 1 };  // "CPU-6358, CPC108" and "CPU-927"

inline const char* CpuCaption(TCpu c) { return c == TCpu::Cpu927 ? "CPU-927" : "CPU-6358, CPC108"; }

struct TBuildOptions {
  TCpu cpu = TCpu::Cpu927;
  // Minor version of the controller program ("LastVersion" characters 3 and 4); 16 or more
  // makes a CPU-927 image travel compressed (type 9). Saving to disk always uses 0.
  int minorVersion = 0;
  // Name for the "File:" field when the document has no current file: the controller's
  // configuration file name.
  std::string fileName;
};

// Writes the tree into a file image. The "File:" field names the document's current file
// when it has one (it wins over opt.fileName). Shows "Не все порты связаны с платами." (and goes on) and
// refuses duplicate port numbers through the document's messages. Returns false on failure.
bool BuildImage(TDocument& doc, const TBuildOptions& opt, std::vector<std::uint8_t>& out);

// Turns records (img[144, end)) into a complete file image: head, zero fill, sum, and for the
// CPU-927 compression (when opt.minorVersion >= 16) and scrambling. False with *error on failure.
bool FinishImage(std::vector<std::uint8_t>& img, std::size_t end, const TBuildOptions& opt, std::string* error);

// Checks and decodes a file image and rebuilds the tree. fromController: the CPU type must be
// the selected one (*cpu in); from a file any type is accepted. On success *cpu is the image's
// CPU type. Errors are shown through the document's messages; the tree stays as it was.
bool ParseImage(TDocument& doc, std::vector<std::uint8_t> bytes, bool fromController, TCpu* cpu,
                const std::string& displayName = {});

// Reads "Boot.ini" text: the CPU type it names and the minor version ("LastVersion").
struct TBootIni {
  std::string lastVersion;
  TCpu cpu = TCpu::Cpu6358;
  int minorVersion = 0;
  std::string configFile = "TVR32.cfg";
  std::string autoFile = "Auto.shm";
  std::string passwordFile;
};
TBootIni ReadBootIniText(const std::string& cp1251Text);

// Opens a ".cfg" file: it becomes the document's current file (even when it cannot be read);
// "Boot.ini" beside it sets *cpu first; the file is read and parsed.
bool OpenConfigFile(TDocument& doc, const std::string& path, TCpu* cpu);
// Saves safely: a failed write leaves the previous file untouched and shows the reason. The
// path becomes the document's current file.
bool SaveConfigFile(TDocument& doc, const std::string& path, TCpu cpu);

}  // namespace t32
