#pragma once
#include "contracts/controls.h"

namespace orbelune {

// The background colour well: while its colour panel serves it, the panel
// offers no opacity, so the background stays opaque.
class MyNoneAlphaColorWell final : public ColorWell {
 public:
  void activate(bool exclusive) override;
  void deactivate() override;

  // Makes the class known by its name to the interface files a loader loads
  // (again: idempotent).
  static void registerClass(InterfaceLoader& loader);
};

}  // namespace orbelune
