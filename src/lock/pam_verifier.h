#pragma once
#include <security/pam_appl.h>

#include <memory>
#include <string>

#include "lock/verifier.h"

namespace orbelune {

// The PAM service name: its rules are /etc/pam.d/orbelune.
inline constexpr const char* kPamService = "orbelune";

// Checks a password with PAM for `user`, the name the locker looked up for
// its real uid before it locked (currentUserName; never a name from the
// environment), so that no later lookup can fail: pam_authenticate, then
// pam_acct_mgmt (an expired or locked account does not unlock), each try on
// a fresh handle. PAM's answer is Rejected when it refused the password or
// the account, Unchecked when it could not check (pamVerdict).
// `configDir`, when given, is where PAM reads the service's rules instead of
// /etc/pam.d (pam_start_confdir), for checking the conversation with rules of
// one's own.
std::unique_ptr<Verifier> makePamVerifier(std::string user, std::string configDir = {});

// What a PAM status means for the try: success accepts; a refusal of the
// password or the account rejects; a failure of the check itself (its
// modules, the directory service, memory) leaves it unchecked.
Verifier::Verdict pamVerdict(int status);

// One try's conversation with PAM: the password answers the one prompt
// that hides what is typed (PAM_PROMPT_ECHO_OFF), once. A prompt that shows
// what is typed, a second prompt or one of a style unknown fails the try
// (PAM_CONV_ERR); messages and errors go to `notice`, when given. PAM frees
// the answers, wiping them first (Linux-PAM does).
struct PamConversation {
  const SecretBuffer* password = nullptr;
  bool answered = false;
  const Verifier::Notice* notice = nullptr;
};
int answerPamPrompts(int count, const pam_message** messages, pam_response** responses, void* conversation);

// The name PAM is asked about: the real uid's entry in the user database, or
// empty when it has none.
std::string currentUserName();

}  // namespace orbelune
