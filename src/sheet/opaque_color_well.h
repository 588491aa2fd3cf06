#pragma once
#include "contracts/controls.h"

namespace orbelune {

// The background colour well: while the shared colour panel serves it, the panel
// offers no opacity, so the background stays opaque.
class MyNoneAlphaColorWell final : public ColorWell {
 public:
  void activate(bool exclusive) override;
  void deactivate() override;

  // Makes the class known to interface files by its name (idempotent).
  static void registerClass();
};

}  // namespace orbelune
