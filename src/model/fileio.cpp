#include "model/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace t32 {

std::string SystemErrorText(int err) {
  switch (err) {
    case ENOENT: return "файл или папка не найдены";
    case EACCES:
    case EPERM: return "нет доступа";
    case ENOSPC: return "нет места на диске";
    case EROFS: return "диск только для чтения";
    case EISDIR: return "это папка, а не файл";
    case ENOTDIR: return "неверный путь";
    case EFBIG: return "файл слишком большой";
    case EDQUOT: return "превышена квота диска";
    case EIO: return "ошибка ввода-вывода";
    default: return std::strerror(err);
  }
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string* error, std::size_t maxSize) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = "Не удалось открыть файл " + path + ": " + SystemErrorText(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    if (error) *error = "Не удалось открыть файл " + path + ": " + SystemErrorText(EISDIR);
    return false;
  }
  if (st.st_size > 0 && static_cast<unsigned long long>(st.st_size) > maxSize) {
    ::close(fd);
    if (error) *error = "Файл " + path + " слишком большой";
    return false;
  }
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      if (error) *error = "Ошибка чтения файла " + path + ": " + SystemErrorText(e);
      return false;
    }
    if (n == 0) break;
    if (out.size() + static_cast<std::size_t>(n) > maxSize) {
      ::close(fd);
      if (error) *error = "Файл " + path + " слишком большой";
      return false;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* error) {
  auto fail = [&](int e) {
    if (error) *error = "Ошибка записи файла " + path + ": " + SystemErrorText(e);
    return false;
  };
  std::string dir = ".";
  if (auto slash = path.rfind('/'); slash != std::string::npos) dir = slash == 0 ? "/" : path.substr(0, slash);
  std::string tmpl = path + ".tmpXXXXXX";
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return fail(errno);
  // Keep the mode of an existing target (mkstemp makes 0600).
  struct stat st {};
  mode_t mode = 0644;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
    if (::access(path.c_str(), W_OK) != 0) {
      int e = errno;
      ::close(fd);
      ::unlink(tmpl.c_str());
      return fail(e);
    }
  }
  ::fchmod(fd, mode);
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      ::unlink(tmpl.c_str());
      return fail(e);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  int rc = ::fsync(fd);
  int e = errno;
  if (::close(fd) != 0 && rc == 0) {
    rc = -1;
    e = errno;
  }
  if (rc != 0) {
    ::unlink(tmpl.c_str());
    return fail(e);
  }
  if (::rename(tmpl.c_str(), path.c_str()) != 0) {
    e = errno;
    ::unlink(tmpl.c_str());
    return fail(e);
  }
  (void)dir;
  return true;
}

}  // namespace t32
