#include "link/link.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "model/messages.h"

namespace t32::link {

const char* const kTextSendFailed = "Ошибка при передаче запроса.";
const char* const kTextNoAnswer = "Нет ответа.";
const char* const kTextBadSum = " Ошибка контрольной суммы ответа.";
const char* const kTextCancelled = "Обмен с контроллером прерван.";
const char* const kTextLinkBusy = "Обмен с контроллером уже идёт. Дождитесь окончания команды.";

TLink::TLink(TMessages& messages) : messages_(messages) {
  cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TLink::~TLink() {
  CloseLink();
  if (cancelFd_ >= 0) ::close(cancelFd_);
}

void TLink::Configure(const TLinkSettings& s) { settings_ = s; }

std::unique_ptr<TTransport> TLink::MakeTransport(std::string& error) const {
  if (settings_.kind == TLinkKind::kSerial) {
    std::string path;
    if (!SerialDevicePath(settings_, path, error)) return nullptr;
    return MakeSerialTransport(path, settings_.timeouts);
  }
  return MakeUdpTransport(ResolveOwnAddress(settings_.ownIp), settings_.localPort, settings_.controllerIp,
                          settings_.remotePort, settings_.timeouts, settings_.commandLine);
}

bool TLink::OpenLink(std::string* reason) {
  CloseLink();
  owed_ = 0;
  std::string error;
  auto t = MakeTransport(error);
  if (t && t->Open(error)) {
    transport_ = std::move(t);
    return true;
  }
  if (reason) *reason = error;
  return false;
}

void TLink::CloseLink() {
  if (transport_) transport_->Close();
  transport_.reset();
  owed_ = 0;
}

bool TLink::DrainLateAnswers() {
  std::uint8_t scratch[kFrameBufferSize];
  while (owed_ > 0) {
    // Each owed answer is waited for as long as an answer would be; one that does not come
    // by then is taken as lost.
    long got = transport_->Receive(scratch, sizeof scratch, kReadThreadRequest, cancelFd_);
    if (got < 0 || cancelled_) return false;
    if (got == 0) {
      owed_ = 0;
      break;
    }
    --owed_;
  }
  return true;
}

bool TLink::IsOpen() const { return transport_ && transport_->IsOpen(); }

void TLink::Fail(const std::string& text) {
  lastFailure_ = text;
  if (errorsShown_) messages_.ShowError(text);
}

bool TLink::Exchange(int mode, std::size_t expectedLength) {
  std::unique_lock<std::mutex> lock(exchangeMutex_, std::try_to_lock);
  if (!lock.owns_lock()) {
    // Not our buffers to touch: another exchange is using them.
    lastFailure_ = kTextLinkBusy;
    return false;
  }
  sent_ = false;
  lastFailure_.clear();
  std::memset(response_, 0, sizeof response_);
  responseLength_ = 0;
  if (!IsOpen()) {
    Fail(kTextSendFailed);
    return false;
  }
  std::size_t size = SealFrame(request_);
  if (!DrainLateAnswers()) {
    Fail(kTextCancelled);
    return false;
  }
  transport_->DiscardInput();
  if (!transport_->Send(request_, size)) {
    Fail(kTextSendFailed);
    return false;
  }
  sent_ = true;
  if (mode == kNoAnswer) return false;
  std::size_t want = mode == kReader ? kReadThreadRequest : expectedLength;
  long got = transport_->Receive(response_, sizeof response_, want, cancelFd_);
  if (got < 0 || cancelled_) {
    Fail(kTextCancelled);
    return false;
  }
  responseLength_ = std::size_t(got);
  if (got == 0) {
    // Bounded: a line that keeps losing answers costs one extra wait per request, not more.
    owed_ = std::min(owed_ + 1, 2);
    Fail(kTextNoAnswer);
    return false;
  }
  // A frame cut short (its length byte announces more than came) cannot carry a valid check
  // byte either; both are reported the same way.
  if (CheckFrame(response_, responseLength_) != TFrameStatus::kOk) {
    Fail(kTextBadSum);
    return false;
  }
  return true;
}

void TLink::Cancel() {
  cancelled_ = true;
  std::uint64_t one = 1;
  if (cancelFd_ >= 0) (void)!::write(cancelFd_, &one, sizeof one);
}

void TLink::ResetCancel() {
  std::uint64_t v;
  if (cancelFd_ >= 0) (void)!::read(cancelFd_, &v, sizeof v);
  cancelled_ = false;
}

void TLink::Pause(int ms) {
  if (ms <= 0 || cancelled_) return;
  pollfd p{cancelFd_, POLLIN, 0};
  ::poll(&p, cancelFd_ >= 0 ? 1 : 0, ms);
}

bool TLink::TestLink(std::string* reason) {
  if (IsOpen()) return true;
  bool ok = OpenLink(reason);
  CloseLink();
  return ok;
}

std::vector<std::uint32_t> TLink::LocalAddresses() {
  std::vector<std::uint32_t> adapters, loopback;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return {};
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
    std::uint32_t ip = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    auto& to = (i->ifa_flags & IFF_LOOPBACK) ? loopback : adapters;
    if (std::find(to.begin(), to.end(), ip) == to.end()) to.push_back(ip);
  }
  ::freeifaddrs(list);
  adapters.insert(adapters.end(), loopback.begin(), loopback.end());
  return adapters;
}

std::uint32_t TLink::ResolveOwnAddress(std::uint32_t configured) {
  auto list = LocalAddresses();
  if (list.empty() || std::find(list.begin(), list.end(), configured) != list.end()) return configured;
  return list.front();
}

void TLink::ForgetControllerAddress() {
  if (settings_.kind != TLinkKind::kUdp) return;
  std::uint32_t ip = settings_.controllerIp;
  // Nothing to forget for "any", broadcast or loopback addresses.
  if (ip == 0 || ip == 0xFFFFFFFFu || (ip >> 24) == 127) return;
  int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return;
  std::set<std::string> names;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) == 0) {
    for (ifaddrs* i = list; i; i = i->ifa_next)
      if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET && !(i->ifa_flags & IFF_LOOPBACK)) names.insert(i->ifa_name);
    ::freeifaddrs(list);
  }
  for (const auto& name : names) {
    arpreq req{};
    auto* pa = reinterpret_cast<sockaddr_in*>(&req.arp_pa);
    pa->sin_family = AF_INET;
    pa->sin_addr.s_addr = htonl(ip);
    std::strncpy(req.arp_dev, name.c_str(), sizeof req.arp_dev - 1);
    // EPERM without CAP_NET_ADMIN, ENXIO when there is no entry: both mean "nothing to do".
    (void)::ioctl(s, SIOCDARP, &req);
  }
  ::close(s);
}

}  // namespace t32::link
