#pragma once
#include <functional>
#include <string_view>

#include "lock/secret_buffer.h"

namespace orbelune {

// Checks one password for the user who runs the program. Runs only in the
// authentication child (auth_child.h); PAM is one, the tests give a fake.
class Verifier {
 public:
  // Rejected: the password is not the user's. Unchecked: the check itself
  // failed (a directory service out of reach, a module missing), so nothing
  // is known of the password; neither unlocks.
  enum class Verdict { Accepted, Rejected, Unchecked };
  // What the check tells the user meanwhile ("touch the key", a lockout's
  // minutes left): PAM's informational and error messages.
  using Notice = std::function<void(std::string_view text)>;

  virtual ~Verifier() = default;
  virtual Verdict verify(const SecretBuffer& password, const Notice& notice) = 0;
};

}  // namespace orbelune
