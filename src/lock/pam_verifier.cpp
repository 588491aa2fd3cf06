#include "lock/pam_verifier.h"

#include <pwd.h>
#include <security/pam_appl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <vector>

namespace orbelune {

namespace {

void wipeAndFree(pam_response* replies, int count) {
  for (int j = 0; j < count; ++j) {
    if (replies[j].resp) {
      explicit_bzero(replies[j].resp, strlen(replies[j].resp));
      free(replies[j].resp);
    }
  }
  free(replies);
}

}  // namespace

int answerPamPrompts(int count, const pam_message** messages, pam_response** responses, void* data) {
  auto* conversation = static_cast<PamConversation*>(data);
  if (count <= 0 || count > PAM_MAX_NUM_MSG) return PAM_CONV_ERR;
  auto* replies = static_cast<pam_response*>(calloc(static_cast<size_t>(count), sizeof(pam_response)));
  if (!replies) return PAM_BUF_ERR;
  for (int i = 0; i < count; ++i) {
    const int style = messages[i]->msg_style;
    if (style == PAM_ERROR_MSG || style == PAM_TEXT_INFO) {
      if (conversation->notice && *conversation->notice && messages[i]->msg) (*conversation->notice)(messages[i]->msg);
      continue;
    }
    // A prompt shown as typed asks for something else than the password (a
    // user name, a one-time code): the password is never its answer. Any
    // prompt after the password was used (pam_systemd_home asks again after
    // a refusal) or of a style unknown ends the try as well.
    if (style != PAM_PROMPT_ECHO_OFF || conversation->answered || !conversation->password) {
      wipeAndFree(replies, i);
      return PAM_CONV_ERR;
    }
    replies[i].resp = strdup(conversation->password->data());
    if (!replies[i].resp) {
      wipeAndFree(replies, i);
      return PAM_BUF_ERR;
    }
    conversation->answered = true;
  }
  *responses = replies;
  return PAM_SUCCESS;
}

namespace {

class PamVerifier final : public Verifier {
 public:
  PamVerifier(std::string user, std::string configDir) : user_(std::move(user)), configDir_(std::move(configDir)) {}

  Verdict verify(const SecretBuffer& password, const Notice& notice) override {
    if (user_.empty() || !password.usable()) return Verdict::Unchecked;
    PamConversation conversation{&password, false, &notice};
    const pam_conv conv{answerPamPrompts, &conversation};
    pam_handle_t* handle = nullptr;
    int status = configDir_.empty()
                     ? pam_start(kPamService, user_.c_str(), &conv, &handle)
                     : pam_start_confdir(kPamService, user_.c_str(), &conv, configDir_.c_str(), &handle);
    if (status != PAM_SUCCESS) {
      if (handle) pam_end(handle, status);
      return Verdict::Unchecked;
    }
    status = pam_authenticate(handle, 0);
    if (status == PAM_SUCCESS) {
      // Only the user who locked unlocks: a module that changed PAM's user
      // (a prompt for a name, a mapping) authenticated someone else.
      const void* item = nullptr;
      if (pam_get_item(handle, PAM_USER, &item) != PAM_SUCCESS || !item ||
          user_ != static_cast<const char*>(item)) {
        status = PAM_AUTH_ERR;
      }
    }
    if (status == PAM_SUCCESS) {
      status = pam_acct_mgmt(handle, 0);
      // A password past its age is still the user's password: a lock screen
      // cannot change it, and refusing it would lock the user out for good.
      if (status == PAM_NEW_AUTHTOK_REQD) status = PAM_SUCCESS;
    }
    if (status == PAM_SUCCESS) pam_setcred(handle, PAM_REFRESH_CRED);
    pam_end(handle, status);
    return pamVerdict(status);
  }

 private:
  std::string user_;
  std::string configDir_;
};

}  // namespace

Verifier::Verdict pamVerdict(int status) {
  switch (status) {
    case PAM_SUCCESS:
      return Verifier::Verdict::Accepted;
    // The check was made and said no. A conversation error is one too: the
    // conversation refuses a second prompt, which pam_systemd_home sends
    // after refusing the first password, and a refusal is never to be
    // cheaper to come by than a wrong password.
    case PAM_AUTH_ERR:
    case PAM_PERM_DENIED:
    case PAM_CRED_INSUFFICIENT:
    case PAM_MAXTRIES:
    case PAM_ACCT_EXPIRED:
    case PAM_CONV_ERR:
      return Verifier::Verdict::Rejected;
    // The user the locker found at the start is unknown now only when the
    // directory service fails; that, like a module that failed, is no
    // judgement of the password.
    default:
      return Verifier::Verdict::Unchecked;
  }
}

std::string currentUserName() {
  std::vector<char> scratch(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, scratch.data(), scratch.size(), &found) != 0 || !found) return {};
  return found->pw_name;
}

std::unique_ptr<Verifier> makePamVerifier(std::string user, std::string configDir) {
  return std::make_unique<PamVerifier>(std::move(user), std::move(configDir));
}

}  // namespace orbelune
