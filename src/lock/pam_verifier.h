#pragma once
#include <security/pam_appl.h>

#include <memory>
#include <string>

#include "lock/verifier.h"

namespace orbelune {

// The PAM service name: its rules are /etc/pam.d/orbelune.
inline constexpr const char* kPamService = "orbelune";

// Checks a password with PAM for the user who runs the program (by its real
// uid, never a name from the environment): pam_authenticate, then
// pam_acct_mgmt (an expired or locked account does not unlock), each try on
// a fresh handle. Any PAM error is a refusal.
// `configDir`, when given, is where PAM reads the service's rules instead of
// /etc/pam.d (pam_start_confdir), for checking the conversation with rules of
// one's own.
std::unique_ptr<Verifier> makePamVerifier(const std::string& configDir = {});

// One try's conversation with PAM: the password answers the one prompt
// that hides what is typed (PAM_PROMPT_ECHO_OFF), once. A prompt that shows
// what is typed, a second prompt or one of a style unknown fails the try
// (PAM_CONV_ERR); messages and errors are passed over. PAM frees the answers,
// wiping them first (Linux-PAM does).
struct PamConversation {
  const SecretBuffer* password = nullptr;
  bool answered = false;
};
int answerPamPrompts(int count, const pam_message** messages, pam_response** responses, void* conversation);

// The name PAM is asked about: the real uid's entry in the user database, or
// empty when it has none.
std::string currentUserName();

}  // namespace orbelune
