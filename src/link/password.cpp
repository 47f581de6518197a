#include "link/password.h"

#include "model/cp1251.h"
#include "model/crc32.h"
#include "model/ini.h"

#include <filesystem>

namespace t32::link {

std::string PasswordWireForm(std::string_view p) {
  unsigned s = 0;
  for (unsigned char c : p) s += c;
  s &= 0xFF;
  std::string text;
  text += char((s & 0x1F) | 0x40);
  text += p;
  text += char(0x40);
  for (std::size_t j = 0; j < text.size(); ++j) text[j] = char((unsigned char)text[j] ^ ((s + j + 1) & 0x1F));
  return text;
}

std::string PasswordStoredForm(std::string_view p, unsigned a) {
  a %= 31;
  std::string text;
  text += char(a + 65);
  text += p;
  text += char(0x40);
  for (std::size_t i = 2; i <= text.size(); ++i)
    text[i - 1] = char((unsigned char)text[i - 1] ^ ((i * (a + 1)) & 0x1F));
  return text;
}

std::string PasswordFromStoredForm(std::string_view stored) {
  std::string out;
  if (stored.size() < 2) return out;
  unsigned c = (unsigned char)stored[0];
  for (std::size_t i = 2; i <= stored.size() - 1; ++i)
    out += char((unsigned char)stored[i - 1] ^ ((i * c) & 0x1F));
  return out;
}

std::uint32_t CredentialValue(std::string_view user, std::string_view wire) {
  std::string text = std::string(user) + "=";
  if (text.size() > 17) text.resize(17);
  text += wire;
  if (text.size() > 33) text.resize(33);
  return Crc32NoFinal(text.data(), text.size());
}

void TLogin::Set(std::string_view userUtf8, std::string_view passwordUtf8) {
  user = Utf8ToCp1251(Utf8Left(userUtf8, kMaxUserLength));
  wire = PasswordWireForm(Utf8ToCp1251(passwordUtf8));
  if (wire.size() > kMaxPasswordLength) wire.resize(kMaxPasswordLength);
  loggedIn = true;
}

TLoginSettings LoadLoginSettings(const TIniFile& ini) {
  TLoginSettings s;
  s.userLogin = ini.ReadString("Key", "UserLogin", "admin");
  std::string stored = ini.ReadString("Key", "UserPassword", "");
  if (!stored.empty()) s.password = Cp1251ToUtf8(PasswordFromStoredForm(Utf8ToCp1251(stored)));
  s.showPassword = ini.ReadInteger("Key", "ShowPassword", 0) != 0;
  s.savePassword = ini.ReadInteger("Key", "SavePassword", 1) != 0;
  return s;
}

void StoreLoginSettings(TIniFile& ini, const TLoginSettings& s, unsigned salt) {
  if (s.savePassword) {
    ini.WriteString("Key", "UserLogin", s.userLogin);
    ini.WriteString("Key", "UserPassword", Cp1251ToUtf8(PasswordStoredForm(Utf8ToCp1251(s.password), salt)));
  }
  ini.WriteInteger("Key", "ShowPassword", s.showPassword ? 1 : 0);
  ini.WriteInteger("Key", "SavePassword", s.savePassword ? 1 : 0);
}

bool AddUserToKeyFile(const std::string& path, std::string_view userUtf8, std::string_view passwordUtf8,
                      std::string* error) {
  TIniFile ini;
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) ini.Load(path);
  ini.WriteString("Users", Utf8Left(userUtf8, kMaxUserLength),
                  Cp1251ToUtf8(PasswordWireForm(Utf8ToCp1251(passwordUtf8))));
  return ini.Save(path, error);
}

}  // namespace t32::link
