// The login the controller asks for: the password's wire form (what the controller's password
// file holds and what the credential is computed from), the stored form kept in the settings
// file, and the 32-bit credential check value sent with every piece of a file.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace t32 { class TIniFile; }

namespace t32::link {

constexpr std::size_t kMaxUserLength = 16;      // characters
constexpr std::size_t kMaxPasswordLength = 16;  // bytes of the wire form

// All forms work on cp1251 bytes.
std::string PasswordWireForm(std::string_view password);
// `salt` must be 0..30 (the stored form picks it at random).
std::string PasswordStoredForm(std::string_view password, unsigned salt);
std::string PasswordFromStoredForm(std::string_view stored);
// CRC-32 (no final inversion) over: user + "=" cut to 17 bytes, then the wire form appended,
// cut to 33 bytes. `user` and `wire` are already cut to 16 bytes by the caller.
std::uint32_t CredentialValue(std::string_view user, std::string_view wire);

// The login of this run, as the commands use it.
struct TLogin {
  std::string user;  // cp1251, at most 16 bytes
  std::string wire;  // cp1251 wire form, at most 16 bytes
  bool loggedIn = false;
  // Sets the login from the dialog's (UTF-8) fields.
  void Set(std::string_view userUtf8, std::string_view passwordUtf8);
  void Clear() { *this = TLogin{}; }
  std::uint32_t Credential() const { return CredentialValue(user, wire); }
};

// Settings file section "Key": UserLogin, UserPassword (stored form), ShowPassword, SavePassword.
struct TLoginSettings {
  std::string userLogin = "admin";  // UTF-8
  std::string password;             // plain text, UTF-8 (empty when none is stored)
  bool showPassword = false;
  bool savePassword = true;
};
TLoginSettings LoadLoginSettings(const t32::TIniFile& ini);
// Writes ShowPassword and SavePassword always; UserLogin and UserPassword only when
// savePassword is set (as the login dialog does on OK).
void StoreLoginSettings(t32::TIniFile& ini, const TLoginSettings& s, unsigned salt);
// "Добавить в файл": sets user=wire form in a key file (created when absent), section "Users".
bool AddUserToKeyFile(const std::string& path, std::string_view userUtf8, std::string_view passwordUtf8,
                      std::string* error);

}  // namespace t32::link
