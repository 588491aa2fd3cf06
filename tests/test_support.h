#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/controls.h"

namespace orbelune::test {

// Installs a loader, a sheet host and theme colours as the application's for
// the duration of a test, as a host program does at its start.
inline void installApplicationServices(InterfaceLoader* loader, SheetHost* host, SystemColors* colors) {
  Application::shared().setInterfaceLoader(loader);
  Application::shared().setSheetHost(host);
  Application::shared().setSystemColors(colors);
}

// Each test gets an empty config folder of its own ($XDG_CONFIG_HOME), the
// process-wide oscillator settings at their load-time values and the current
// system's colour format.
class IsolatedTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path configHome() const { return home_; }
  std::filesystem::path storeFile() const;
  void writeStoreFile(const std::string& text) const;
  std::string readStoreFile() const;

 private:
  std::filesystem::path home_;
};

}  // namespace orbelune::test
