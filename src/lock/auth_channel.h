#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "lock/secret_buffer.h"

namespace orbelune {

// The messages between the locker and its authentication child, over a
// SOCK_SEQPACKET socket pair: one message a request, one a reply, so a
// message is never read in pieces, and a closed peer is an error, never a
// signal (every send is MSG_NOSIGNAL).
//
// A request is the byte 'P' followed by the password's bytes (at most
// SecretBuffer::kCapacity). A reply is one byte: 'A' accepted, 'R' rejected,
// 'C' could not be checked; before it, the child may send notices, 'N'
// followed by at most kMostNoticeBytes of text PAM has for the user. A
// child whose memory could not be locked says so first, with the byte 'M'.
// Anything else, a short or long message, or a closed socket, is a fault,
// and a fault never counts as accepted.
namespace auth_channel {

enum class Reply { Accepted, Rejected, Unchecked, Notice, MemoryUnlocked, Fault };

inline constexpr std::size_t kMostNoticeBytes = 512;

// Sends the password as a request and wipes the buffer, sent or not.
bool sendRequest(int fd, SecretBuffer& password);
// Receives one request into `password`; false on a closed socket, an error,
// or a message that is not a request or does not fit.
bool receiveRequest(int fd, SecretBuffer& password);
// Sends a verdict (Accepted, Rejected or Unchecked) or MemoryUnlocked;
// false for any other.
bool sendReply(int fd, Reply reply);
// Sends PAM's text for the user, cut to kMostNoticeBytes.
bool sendNotice(int fd, std::string_view text);
// Reads one message (blocking): a verdict, or Notice with its text in
// `notice` (when given), or MemoryUnlocked; Fault unless exactly one of
// those came.
Reply receiveReply(int fd, std::string* notice = nullptr);

}  // namespace auth_channel
}  // namespace orbelune
