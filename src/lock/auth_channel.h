#pragma once
#include "lock/secret_buffer.h"

namespace orbelune {

// The messages between the locker and its authentication child, over a
// SOCK_SEQPACKET socket pair: one message a request, one a reply, so a
// message is never read in pieces, and a closed peer is an error, never a
// signal (every send is MSG_NOSIGNAL).
//
// A request is the byte 'P' followed by the password's bytes (at most
// SecretBuffer::kCapacity). A reply is one byte: 'A' accepted, 'R' rejected.
// Anything else, a short or long message, or a closed socket, is a fault,
// and a fault never counts as accepted.
namespace auth_channel {

enum class Reply { Accepted, Rejected, Fault };

// Sends the password as a request and wipes the buffer, sent or not.
bool sendRequest(int fd, SecretBuffer& password);
// Receives one request into `password`; false on a closed socket, an error,
// or a message that is not a request or does not fit.
bool receiveRequest(int fd, SecretBuffer& password);
bool sendReply(int fd, bool accepted);
// Reads one reply (blocking); Fault unless exactly 'A' or 'R' came.
Reply receiveReply(int fd);

}  // namespace auth_channel
}  // namespace orbelune
