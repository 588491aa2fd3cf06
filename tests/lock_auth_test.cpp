// The password check's process and its messages: only a reply of the child
// to a request unlocks; a crashed, killed or misbehaving child, a message too
// long, or a PAM refusal never does; passwords are wiped once sent.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <errno.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lock/auth_child.h"
#include "lock/password_check.h"
#include "lock/pam_verifier.h"
#include "lock/process_guard.h"

namespace orbelune {
namespace {

using Reply = auth_channel::Reply;

// Accepts `right`; some words act out a PAM module's ways: "crash" aborts,
// "hang" never answers, "slow" accepts after a while, "touch" says
// something first, "broken" cannot check, "pipe" writes to a pipe nobody
// reads (and answers only if that did not kill the check).
class FakeVerifier final : public Verifier {
 public:
  explicit FakeVerifier(std::string right) : right_(std::move(right)) {}
  Verdict verify(const SecretBuffer& password, const Notice& notice) override {
    const std::string text(password.data(), password.size());
    if (text == "crash") {
      prctl(PR_SET_DUMPABLE, 0);  // no core file from the crash the test asks for
      abort();
    }
    if (text == "touch and hang") notice("Place your finger on the reader");
    if (text == "hang" || text == "touch and hang") pause();
    if (text == "slow") {
      usleep(300000);
      return Verdict::Accepted;
    }
    if (text == "touch") notice("Touch the key\nnow");
    if (text == "broken") return Verdict::Unchecked;
    if (text == "pipe") {
      int ends[2];
      if (pipe(ends) != 0) return Verdict::Unchecked;
      close(ends[0]);
      const bool refused = write(ends[1], "x", 1) < 0 && errno == EPIPE;
      close(ends[1]);
      return refused ? Verdict::Accepted : Verdict::Rejected;
    }
    return text == right_ && password.data()[password.size()] == '\0' ? Verdict::Accepted : Verdict::Rejected;
  }

 private:
  std::string right_;
};

using Verdict = Verifier::Verdict;

std::unique_ptr<AuthChild> spawnFake(const std::string& right) {
  std::string error;
  auto child = AuthChild::spawn([right] { return std::make_unique<FakeVerifier>(right); }, error);
  EXPECT_TRUE(child) << error;
  return child;
}

// The next message but the one a child sends first where the limits keep
// it from locking its memory (tests run under any limit).
template <typename Check>
Reply next(Check& check, std::string* notice = nullptr) {
  Reply reply;
  do {
    reply = check.receiveReply(notice);
  } while (reply == Reply::MemoryUnlocked);
  return reply;
}

Reply check(AuthChild& child, const std::string& text) {
  SecretBuffer password;
  EXPECT_TRUE(password.append(text));
  if (!child.submit(password)) return Reply::Fault;
  return next(child);
}

TEST(SecretBuffer, HoldsCharactersWipesAndRefusesWhatDoesNotFit) {
  SecretBuffer buffer;
  ASSERT_TRUE(buffer.usable());
  EXPECT_TRUE(buffer.append("p"));
  EXPECT_TRUE(buffer.append("\xC3\xA9"));          // é, two bytes
  EXPECT_TRUE(buffer.append("\xF0\x9F\x94\x91"));  // a key emoji, four
  EXPECT_EQ(buffer.size(), 7u);
  EXPECT_EQ(buffer.characters(), 3u);
  buffer.eraseLast();
  EXPECT_EQ(std::string(buffer.data()), "p\xC3\xA9");
  buffer.eraseLast();
  EXPECT_EQ(std::string(buffer.data()), "p");
  buffer.eraseLast();
  buffer.eraseLast();
  EXPECT_TRUE(buffer.empty());

  const std::string full(SecretBuffer::kCapacity, 'x');
  EXPECT_TRUE(buffer.append(full));
  EXPECT_FALSE(buffer.append("y"));
  EXPECT_EQ(buffer.size(), SecretBuffer::kCapacity);
  EXPECT_EQ(buffer.data()[SecretBuffer::kCapacity], '\0');
  buffer.clear();
  EXPECT_EQ(buffer.size(), 0u);
  for (std::size_t i = 0; i < SecretBuffer::kCapacity; ++i) ASSERT_EQ(buffer.data()[i], '\0') << i;
}

TEST(AuthChild, AnswersEachRequestAndWipesWhatWasSent) {
  auto child = spawnFake("right horse");
  ASSERT_TRUE(child);
  EXPECT_EQ(check(*child, "wrong"), Reply::Rejected);
  EXPECT_EQ(check(*child, "right horse"), Reply::Accepted);
  EXPECT_EQ(check(*child, "right horse "), Reply::Rejected);
  EXPECT_EQ(check(*child, ""), Reply::Rejected);

  SecretBuffer password;
  password.append("right horse");
  ASSERT_TRUE(child->submit(password));
  EXPECT_EQ(password.size(), 0u);
  EXPECT_EQ(std::memcmp(password.data(), "\0\0\0\0\0\0\0\0\0\0\0", 11), 0);
  EXPECT_EQ(next(*child), Reply::Accepted);
}

TEST(AuthChild, TakesAPasswordOfTheWholeCapacity) {
  const std::string longest(SecretBuffer::kCapacity, 'k');
  auto child = spawnFake(longest);
  ASSERT_TRUE(child);
  EXPECT_EQ(check(*child, longest), Reply::Accepted);
}

TEST(AuthChild, ACrashedKilledOrFailedChildIsAFaultNeverAnAcceptance) {
  auto crashing = spawnFake("right");
  ASSERT_TRUE(crashing);
  EXPECT_EQ(check(*crashing, "crash"), Reply::Fault);
  // Gone for good: later requests cannot be sent (and raise no SIGPIPE).
  EXPECT_EQ(check(*crashing, "right"), Reply::Fault);

  auto killed = spawnFake("right");
  ASSERT_TRUE(killed);
  kill(killed->pid(), SIGKILL);
  waitpid(killed->pid(), nullptr, 0);
  EXPECT_EQ(check(*killed, "right"), Reply::Fault);

  std::string error;
  auto noVerifier = AuthChild::spawn([] { return std::unique_ptr<Verifier>(); }, error);
  ASSERT_TRUE(noVerifier) << error;
  EXPECT_EQ(check(*noVerifier, "right"), Reply::Fault);
}

// What a PAM module says reaches the locker before the verdict; a check
// that could not be made is told apart from a refusal; a module's write to
// a pipe gone does not kill the check.
TEST(AuthChild, PassesNoticesAndTellsAFailedCheckFromARefusal) {
  auto child = spawnFake("right");
  ASSERT_TRUE(child);
  SecretBuffer password;
  password.append("touch");
  ASSERT_TRUE(child->submit(password));
  std::string notice;
  EXPECT_EQ(next(*child, &notice), Reply::Notice);
  EXPECT_EQ(notice, "Touch the key\nnow");
  EXPECT_EQ(next(*child), Reply::Rejected);
  EXPECT_EQ(check(*child, "broken"), Reply::Unchecked);
  EXPECT_EQ(check(*child, "pipe"), Reply::Accepted) << "a broken pipe killed the check";
}

TEST(PasswordCheck, FailuresInARowAreReplacedThenRetriedAfterGrowingWaitsUntilAChildAnswers) {
  VirtualClock clock(10.0);
  PasswordCheck check([] { return std::make_unique<FakeVerifier>("right"); }, clock);
  std::string error;
  ASSERT_TRUE(check.start(error)) << error;
  auto ask = [&check](const std::string& text) {
    SecretBuffer password;
    password.append(text);
    return check.submit(password) ? next(check) : Reply::Fault;
  };
  // Replaced at once, each answer ending the run: no limit over the lock.
  for (int n = 0; n < 2 * PasswordCheck::kMostRestarts; ++n) {
    const pid_t old = check.pid();
    kill(old, SIGKILL);
    EXPECT_EQ(ask("right"), Reply::Fault);
    ASSERT_TRUE(check.restart(error)) << error;
    EXPECT_NE(check.pid(), old);
    EXPECT_EQ(waitpid(old, nullptr, WNOHANG), -1) << "the dead child was reaped";
    EXPECT_EQ(ask("wrong"), Reply::Rejected);
  }
  EXPECT_EQ(check.failuresInARow(), 0);
  // Failures in a row: kMostRestarts replaced at once, then waits that grow.
  for (int n = 0; n < PasswordCheck::kMostRestarts; ++n) {
    EXPECT_EQ(ask("crash"), Reply::Fault);
    ASSERT_TRUE(check.restart(error)) << error;
  }
  EXPECT_FALSE(check.waiting());
  double expected = PasswordCheck::kFirstRetrySeconds;
  for (int n = 0; n < 8; ++n) {
    EXPECT_EQ(ask("crash"), Reply::Fault);
    EXPECT_FALSE(check.restart(error));
    EXPECT_TRUE(check.waiting());
    EXPECT_FALSE(check.running());
    EXPECT_EQ(check.fd(), -1);
    EXPECT_EQ(ask("right"), Reply::Fault) << "nothing checks while waiting";
    EXPECT_DOUBLE_EQ(check.nextDeadline() - clock.now(), expected);
    clock.advance(expected - 0.001);
    EXPECT_FALSE(check.retryIfDue(error));
    clock.advance(0.001);
    ASSERT_TRUE(check.retryIfDue(error)) << error;
    expected = std::min(2.0 * expected, PasswordCheck::kLongestRetrySeconds);
  }
  EXPECT_DOUBLE_EQ(expected, PasswordCheck::kLongestRetrySeconds);
  // The fault cleared: the child answers, and the run of failures ends.
  EXPECT_EQ(ask("right"), Reply::Accepted);
  EXPECT_FALSE(check.waiting());
  EXPECT_EQ(check.failuresInARow(), 0);
}

// A check stuck in a PAM module is overdue after kCheckSeconds and its child
// replaced; a cancelled check's late answer never reaches the locker.
TEST(PasswordCheck, AHungCheckIsReplacedInTimeAndACancelledOneCannotAnswerLate) {
  VirtualClock clock(10.0);
  PasswordCheck check([] { return std::make_unique<FakeVerifier>("right"); }, clock);
  std::string error;
  ASSERT_TRUE(check.start(error)) << error;
  auto submit = [&check](const std::string& text) {
    SecretBuffer password;
    password.append(text);
    return check.submit(password);
  };
  ASSERT_TRUE(submit("hang"));
  EXPECT_FALSE(submit("right")) << "one check at a time";
  clock.advance(PasswordCheck::kCheckSeconds - 0.5);
  EXPECT_FALSE(check.overdue());
  EXPECT_DOUBLE_EQ(check.nextDeadline() - clock.now(), 0.5);
  clock.advance(0.5);
  EXPECT_TRUE(check.overdue());
  const pid_t hung = check.pid();
  const auto before = std::chrono::steady_clock::now();
  ASSERT_TRUE(check.restart(error)) << error;
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1)) << "waited on the hung child";
  EXPECT_EQ(kill(hung, 0), -1) << "the hung child was killed and reaped";
  EXPECT_EQ(check.failuresInARow(), 1);

  // PAM's message (a fingerprint reader waiting for a finger) shows the
  // check alive: the time limit counts from it.
  ASSERT_TRUE(submit("touch and hang"));
  clock.advance(PasswordCheck::kCheckSeconds - 1.0);
  pollfd noticed{check.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&noticed, 1, 5000), 1);
  EXPECT_EQ(next(check), Reply::Notice);
  clock.advance(2.0);
  EXPECT_FALSE(check.overdue()) << "the limit counts from PAM's last message";
  clock.advance(PasswordCheck::kCheckSeconds - 2.0);
  EXPECT_TRUE(check.overdue());
  ASSERT_TRUE(check.restart(error)) << error;

  ASSERT_TRUE(submit("slow"));  // would accept, after a while
  ASSERT_TRUE(check.cancel(error)) << error;
  EXPECT_EQ(check.failuresInARow(), 2) << "a cancel is no failure";
  EXPECT_FALSE(check.checking());
  usleep(400000);
  pollfd ready{check.fd(), POLLIN, 0};
  while (poll(&ready, 1, 0) > 0) {
    ASSERT_EQ(check.receiveReply(), Reply::MemoryUnlocked) << "the given-up check answered on the new socket";
  }
  ASSERT_TRUE(submit("wrong"));
  EXPECT_EQ(next(check), Reply::Rejected);
}

// PAM's prompts as the conversation answers them: the password goes to the
// one hidden prompt of a try, never to one that shows what is typed.
TEST(PamPrompts, OnlyOneHiddenPromptGetsThePassword) {
  SecretBuffer password;
  password.append("open sesame");
  PamConversation conversation{&password, false};
  auto ask = [&conversation](const std::vector<int>& styles, std::vector<std::string>* answers = nullptr) {
    std::vector<pam_message> messages;
    for (int style : styles) messages.push_back({style, "prompt"});
    std::vector<const pam_message*> pointers;
    for (const auto& m : messages) pointers.push_back(&m);
    pam_response* responses = nullptr;
    const int status =
        answerPamPrompts(static_cast<int>(styles.size()), pointers.data(), &responses, &conversation);
    if (status == PAM_SUCCESS) {
      for (std::size_t i = 0; i < styles.size(); ++i) {
        if (answers) answers->push_back(responses[i].resp ? responses[i].resp : "(none)");
        free(responses[i].resp);
      }
      free(responses);
    }
    return status;
  };
  std::vector<std::string> answers;
  std::vector<std::string> notices;
  const Verifier::Notice notice = [&notices](std::string_view text) { notices.emplace_back(text); };
  conversation.notice = &notice;
  EXPECT_EQ(ask({PAM_TEXT_INFO, PAM_PROMPT_ECHO_OFF, PAM_ERROR_MSG}, &answers), PAM_SUCCESS);
  EXPECT_EQ(answers, (std::vector<std::string>{"(none)", "open sesame", "(none)"}));
  EXPECT_EQ(notices, (std::vector<std::string>{"prompt", "prompt"})) << "PAM's messages were dropped";
  EXPECT_EQ(ask({PAM_PROMPT_ECHO_OFF}), PAM_CONV_ERR) << "a second prompt of the same try";
  conversation.answered = false;
  EXPECT_EQ(ask({PAM_PROMPT_ECHO_ON}), PAM_CONV_ERR);
  EXPECT_EQ(ask({PAM_PROMPT_ECHO_OFF, PAM_PROMPT_ECHO_ON}), PAM_CONV_ERR);
  conversation.answered = false;
  EXPECT_EQ(ask({PAM_PROMPT_ECHO_OFF, PAM_PROMPT_ECHO_OFF}), PAM_CONV_ERR);
  conversation.answered = false;
  EXPECT_EQ(ask({42}), PAM_CONV_ERR);
  EXPECT_EQ(ask({}), PAM_CONV_ERR);
}

TEST(AuthChild, ClosesEveryDescriptorItWasNotGiven) {
  const int stray = open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);
  struct OnlyItsChannel final : Verifier {
    Verdict verify(const SecretBuffer&, const Notice&) override {
      for (int fd = 4; fd < 256; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0) return Verdict::Rejected;
      }
      return fcntl(3, F_GETFD) >= 0 ? Verdict::Accepted : Verdict::Rejected;
    }
  };
  std::string error;
  auto child = AuthChild::spawn([] { return std::make_unique<OnlyItsChannel>(); }, error);
  ASSERT_TRUE(child) << error;
  EXPECT_EQ(check(*child, "any"), Reply::Accepted);
  close(stray);
}

TEST(AuthChannel, OnlyOneWellFormedByteIsAReply) {
  auto replyTo = [](const std::string& bytes) {
    int ends[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    if (bytes.empty()) {
      close(ends[1]);
    } else {
      EXPECT_EQ(send(ends[1], bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }
    const Reply reply = auth_channel::receiveReply(ends[0]);
    close(ends[0]);
    if (!bytes.empty()) close(ends[1]);
    return reply;
  };
  EXPECT_EQ(replyTo("A"), Reply::Accepted);
  EXPECT_EQ(replyTo("R"), Reply::Rejected);
  EXPECT_EQ(replyTo("C"), Reply::Unchecked);
  EXPECT_EQ(replyTo("M"), Reply::MemoryUnlocked);
  EXPECT_EQ(replyTo("NTouch the key"), Reply::Notice);
  EXPECT_EQ(replyTo("N" + std::string(auth_channel::kMostNoticeBytes + 1, 'x')), Reply::Fault);
  EXPECT_EQ(replyTo("a"), Reply::Fault);
  EXPECT_EQ(replyTo("AA"), Reply::Fault);
  EXPECT_EQ(replyTo(std::string(1, '\0')), Reply::Fault);
  EXPECT_EQ(replyTo(""), Reply::Fault);  // the child's end closed
}

TEST(AuthChannel, ARequestTooLongOrMalformedIsRefusedUnread) {
  auto received = [](const std::string& bytes) {
    int ends[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    EXPECT_EQ(send(ends[1], bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    SecretBuffer password;
    const bool ok = auth_channel::receiveRequest(ends[0], password);
    const bool wiped = password.size() == 0 && password.data()[0] == '\0';
    close(ends[0]);
    close(ends[1]);
    return ok ? std::string("ok:") + password.data() : wiped ? "refused" : "refused, not wiped";
  };
  EXPECT_EQ(received("Psecret"), "ok:secret");
  EXPECT_EQ(received("Xsecret"), "refused");
  EXPECT_EQ(received("P" + std::string(SecretBuffer::kCapacity + 1, 'x')), "refused");
}

// The real PAM conversation, with rules of the test's own (pam_exec hands
// the password it asked for to a script on its standard input).
class PamConversation : public ::testing::Test {
 protected:
  void SetUp() override {
    if (currentUserName().empty()) GTEST_SKIP() << "the user running the tests has no passwd entry";
    if (!std::filesystem::exists("/usr/lib/x86_64-linux-gnu/security/pam_exec.so") &&
        !std::filesystem::exists("/lib/x86_64-linux-gnu/security/pam_exec.so")) {
      GTEST_SKIP() << "pam_exec.so not installed";
    }
    dir_ = std::filesystem::temp_directory_path() / ("orbelune-pam-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    const auto script = dir_ / "check";
    std::ofstream(script) << "#!/bin/sh\n[ \"$(tr -d '\\000')\" = 'open sesame' ]\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    // pam_exec's failure is a module's failure (PAM_SYSTEM_ERR), not a
    // refusal: pam_deny after it refuses, as pam_unix would.
    std::ofstream(dir_ / kPamService) << "auth [success=done default=ignore] pam_exec.so quiet expose_authtok "
                                      << script.string()
                                      << "\nauth requisite pam_deny.so\naccount required pam_permit.so\n";
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
};

TEST_F(PamConversation, ThePasswordReachesPamAndOnlyTheRightOneUnlocks) {
  const std::string dir = dir_.string();
  std::string error;
  auto child = AuthChild::spawn([dir] { return makePamVerifier(currentUserName(), dir); }, error);
  ASSERT_TRUE(child) << error;
  EXPECT_EQ(check(*child, "open sesame"), Reply::Accepted);
  EXPECT_EQ(check(*child, "open sesam"), Reply::Rejected);
  EXPECT_EQ(check(*child, ""), Reply::Rejected);
}

// A module that fails (a directory service out of reach) is no refusal, and
// what it says on the way reaches the locker.
TEST_F(PamConversation, AFailingModuleIsNoRefusalAndWhatItSaysIsPassedOn) {
  const auto script = dir_ / "unreachable";
  std::ofstream(script) << "#!/bin/sh\necho 'Touch the key'\nexit 1\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  std::ofstream(dir_ / kPamService) << "auth required pam_exec.so quiet stdout " << script.string()
                                    << "\naccount required pam_permit.so\n";
  const std::string dir = dir_.string();
  std::string error;
  auto child = AuthChild::spawn([dir] { return makePamVerifier(currentUserName(), dir); }, error);
  ASSERT_TRUE(child) << error;
  SecretBuffer password;
  password.append("open sesame");
  ASSERT_TRUE(child->submit(password));
  std::string notice;
  EXPECT_EQ(next(*child, &notice), Reply::Notice);
  EXPECT_EQ(notice, "Touch the key");
  EXPECT_EQ(next(*child), Reply::Unchecked);
}

TEST_F(PamConversation, AnAccountRefusalAfterTheRightPasswordDoesNotUnlock) {
  std::ofstream(dir_ / kPamService) << "auth required pam_permit.so\naccount required pam_deny.so\n";
  const std::string dir = dir_.string();
  std::string error;
  auto child = AuthChild::spawn([dir] { return makePamVerifier(currentUserName(), dir); }, error);
  ASSERT_TRUE(child) << error;
  EXPECT_EQ(check(*child, "anything"), Reply::Rejected);
}

TEST_F(PamConversation, AServiceWithNoRulesDoesNotUnlock) {
  std::filesystem::remove(dir_ / kPamService);
  std::ofstream(dir_ / "other") << "auth required pam_deny.so\naccount required pam_deny.so\n";
  const std::string dir = dir_.string();
  std::string error;
  auto child = AuthChild::spawn([dir] { return makePamVerifier(currentUserName(), dir); }, error);
  ASSERT_TRUE(child) << error;
  EXPECT_EQ(check(*child, "open sesame"), Reply::Rejected);
}

}  // namespace
}  // namespace orbelune

// A locker started with its standard descriptors closed: they are taken
// before the check's sockets are made, so that no line written to stdout or
// stderr can reach the check's channel.
TEST(LockerProcess, ClosedStandardDescriptorsAreTakenBeforeAnySocket) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(0);
    close(1);
    close(2);
    std::string error;
    if (!orbelune::guardLockerProcess(error)) _exit(2);
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) _exit(3);
    const bool standardOpen = fcntl(0, F_GETFD) >= 0 && fcntl(1, F_GETFD) >= 0 && fcntl(2, F_GETFD) >= 0;
    _exit(ends[0] > 2 && ends[1] > 2 && standardOpen ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
