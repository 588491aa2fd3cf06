#pragma once
#include "lock/secret_buffer.h"

namespace orbelune {

// Checks one password for the user who runs the program. Runs only in the
// authentication child (auth_child.h); PAM is one, the tests give a fake.
class Verifier {
 public:
  virtual ~Verifier() = default;
  virtual bool verify(const SecretBuffer& password) = 0;
};

}  // namespace orbelune
