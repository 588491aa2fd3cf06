#include "lock/auth_channel.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>

namespace orbelune::auth_channel {

namespace {

constexpr char kRequest = 'P';
constexpr char kAccepted = 'A';
constexpr char kRejected = 'R';
constexpr char kUnchecked = 'C';
constexpr char kNotice = 'N';
constexpr char kMemoryUnlocked = 'M';

ssize_t sendRetrying(int fd, const msghdr& message) {
  ssize_t n;
  do {
    n = sendmsg(fd, &message, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n;
}

ssize_t receiveRetrying(int fd, msghdr& message) {
  ssize_t n;
  do {
    n = recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
  } while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace

bool sendRequest(int fd, SecretBuffer& password) {
  char tag = kRequest;
  const std::size_t length = password.size();
  iovec parts[2] = {{&tag, 1}, {const_cast<char*>(password.data()), length}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = 2;
  const ssize_t sent = sendRetrying(fd, message);
  password.clear();
  return sent == static_cast<ssize_t>(1 + length);
}

bool receiveRequest(int fd, SecretBuffer& password) {
  password.clear();
  if (!password.usable()) return false;
  char tag = 0;
  iovec parts[2] = {{&tag, 1}, {password.storage(), SecretBuffer::kCapacity}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = 2;
  const ssize_t n = receiveRetrying(fd, message);
  if (n <= 0 || tag != kRequest || (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC))) {
    password.clear();
    return false;
  }
  password.setSize(static_cast<std::size_t>(n - 1));
  return true;
}

bool sendReply(int fd, Reply reply) {
  char byte = 0;
  switch (reply) {
    case Reply::Accepted:
      byte = kAccepted;
      break;
    case Reply::Rejected:
      byte = kRejected;
      break;
    case Reply::Unchecked:
      byte = kUnchecked;
      break;
    case Reply::MemoryUnlocked:
      byte = kMemoryUnlocked;
      break;
    case Reply::Notice:
    case Reply::Fault:
      return false;
  }
  iovec part{&byte, 1};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  return sendRetrying(fd, message) == 1;
}

bool sendNotice(int fd, std::string_view text) {
  char tag = kNotice;
  const std::size_t length = std::min(text.size(), kMostNoticeBytes);
  iovec parts[2] = {{&tag, 1}, {const_cast<char*>(text.data()), length}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = 2;
  return sendRetrying(fd, message) == static_cast<ssize_t>(1 + length);
}

Reply receiveReply(int fd, std::string* notice) {
  // Room for more than the longest message, so that a longer one is seen as
  // wrong rather than cut.
  char bytes[kMostNoticeBytes + 2] = {};
  iovec part{bytes, sizeof bytes};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  const ssize_t n = receiveRetrying(fd, message);
  if (n < 1 || (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC))) return Reply::Fault;
  if (bytes[0] == kNotice && static_cast<std::size_t>(n) <= 1 + kMostNoticeBytes) {
    if (notice) notice->assign(bytes + 1, static_cast<std::size_t>(n - 1));
    return Reply::Notice;
  }
  if (n != 1) return Reply::Fault;
  if (bytes[0] == kAccepted) return Reply::Accepted;
  if (bytes[0] == kRejected) return Reply::Rejected;
  if (bytes[0] == kUnchecked) return Reply::Unchecked;
  if (bytes[0] == kMemoryUnlocked) return Reply::MemoryUnlocked;
  return Reply::Fault;
}

}  // namespace orbelune::auth_channel
