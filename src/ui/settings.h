// The program's own settings file "Tavrik32.ini" (cp1251): window geometry, link kind and
// addresses, last program and automation files. Read at start, written at close.
#pragma once
#include <QRect>
#include <QString>
#include <functional>
#include <string>

namespace t32 { class TIniFile; }

namespace t32::ui {

struct TAppSettings {
  QRect geometry{303, 174, 657, 446};  // Left, Top, Width, Height
  int linkMode = 0;                    // 0 serial port, 1 IP (UDP)
  int comPort = 1;                     // 1..8
  std::string selfIp = "00.00.00.00";
  std::string destIp = "00.00.00.00";
  // Beyond the port number: a device path for the serial link (empty: "COM" + port number)
  // and the UDP ports (0 for the own port: any free one). Written only when not the default.
  std::string serialDevice;
  int localPort = 208;
  int remotePort = 208;
  QString progRtu;   // last controller program file
  QString dataAuto;  // last automation file
  // Everything else of the file (other sections, e.g. "EditorTI" and the stored login) is kept
  // as read and written back unchanged.
  std::string rawText;

  // programDir: default folder of the program and automation files.
  void Load(const QString& path, const QString& programDir);
  bool Save(const QString& path, std::string* error = nullptr) const;
  std::string ReadString(const std::string& section, const std::string& key) const;
  // Reads and changes the sections kept as read (the stored login, section "Key").
  void UpdateRaw(const std::function<void(TIniFile&)>& change);
  TIniFile Raw() const;
};

// Where the settings file lives: beside the program when that folder is writable, otherwise
// in the user's configuration folder (~/.config/tavrik32/).
QString SettingsPath(const QString& programDir);
// The grid tables' text files start in "Data" beside the settings file: beside the program
// where it can be written, else in the user's configuration folder.
QString DataFolder(const QString& programDir);

}  // namespace t32::ui
