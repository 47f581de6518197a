#include "ui/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "model/ini.h"

namespace t32::ui {

namespace {
const char* kComKey = "СОМ_N";  // the letters С, О, М are Cyrillic in the file
}

void TAppSettings::Load(const QString& path, const QString& programDir) {
  TIniFile ini;
  ini.Load(path.toStdString());
  rawText = ini.Serialize();
  auto num = [&](const char* s, const char* k, long long def) { return ini.ReadInteger(s, k, def); };
  int top = static_cast<int>(num("Form", "Top", 174));
  int left = static_cast<int>(num("Form", "Left", 303));
  int height = static_cast<int>(num("Form", "Height", 446));
  int width = static_cast<int>(num("Form", "Width", 657));
  // A damaged file must not give an unusable window.
  if (width < 200 || width > 20000) width = 657;
  if (height < 150 || height > 20000) height = 446;
  if (left < -10000 || left > 20000) left = 303;
  if (top < -10000 || top > 20000) top = 174;
  geometry = QRect(left, top, width, height);
  linkMode = num("Link", "Mode", 0) == 1 ? 1 : 0;
  long long com = num("Link", kComKey, 1);
  comPort = (com < 1 || com > 8) ? 1 : static_cast<int>(com);
  selfIp = ini.ReadString("Link", "SelfIP", "00.00.00.00");
  destIp = ini.ReadString("Link", "DestIP", "00.00.00.00");
  serialDevice = ini.ReadString("Link", "SerialDevice", "");
  auto port = [&](const char* k, long long min) {
    long long v = num("Link", k, 208);
    return static_cast<int>(v < min || v > 65535 ? 208 : v);
  };
  localPort = port("LocalPort", 0);
  remotePort = port("RemotePort", 1);
  QString dir = QDir(programDir).absolutePath() + "/";
  progRtu = QString::fromStdString(ini.ReadString("Progs", "ProgRTU", (dir + "TVR32.bin").toStdString()));
  dataAuto = QString::fromStdString(ini.ReadString("Progs", "DataAuto", (dir + "Auto.shm").toStdString()));
}

std::string TAppSettings::ReadString(const std::string& section, const std::string& key) const {
  TIniFile ini;
  ini.Parse(rawText);
  return ini.ReadString(section, key);
}

TIniFile TAppSettings::Raw() const {
  TIniFile ini;
  ini.Parse(rawText);
  return ini;
}

void TAppSettings::UpdateRaw(const std::function<void(TIniFile&)>& change) {
  TIniFile ini = Raw();
  change(ini);
  rawText = ini.Serialize();
}

bool TAppSettings::Save(const QString& path, std::string* error) const {
  TIniFile ini;
  ini.Parse(rawText);
  ini.WriteInteger("Form", "Top", geometry.top());
  ini.WriteInteger("Form", "Left", geometry.left());
  ini.WriteInteger("Form", "Height", geometry.height());
  ini.WriteInteger("Form", "Width", geometry.width());
  ini.WriteInteger("Link", "Mode", linkMode);
  ini.WriteInteger("Link", kComKey, comPort);
  ini.WriteString("Link", "SelfIP", selfIp);
  ini.WriteString("Link", "DestIP", destIp);
  // The extra link keys stay out of the file while they hold their defaults.
  if (!serialDevice.empty() || ini.HasKey("Link", "SerialDevice")) ini.WriteString("Link", "SerialDevice", serialDevice);
  if (localPort != 208 || ini.HasKey("Link", "LocalPort")) ini.WriteInteger("Link", "LocalPort", localPort);
  if (remotePort != 208 || ini.HasKey("Link", "RemotePort")) ini.WriteInteger("Link", "RemotePort", remotePort);
  ini.WriteString("Progs", "ProgRTU", progRtu.toStdString());
  ini.WriteString("Progs", "DataAuto", dataAuto.toStdString());
  QDir().mkpath(QFileInfo(path).absolutePath());
  return ini.Save(path.toStdString(), error);
}

QString SettingsPath(const QString& programDir) {
  QFileInfo dir(programDir);
  QString beside = QDir(programDir).filePath("Tavrik32.ini");
  QFileInfo file(beside);
  if (dir.isDir() && dir.isWritable() && (!file.exists() || file.isWritable())) return beside;
  QString cfg = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (cfg.isEmpty()) cfg = QDir::homePath() + "/.config";
  return cfg + "/tavrik32/Tavrik32.ini";
}

QString DataFolder(const QString& programDir) {
  return QFileInfo(SettingsPath(programDir)).absolutePath() + "/Data";
}

}  // namespace t32::ui
