#pragma once
// The fixture of the sheet's tests: a view and its configuration sheet on
// in-memory controls, handed the loader, host, theme colours, colour panel and
// store a host hands a sheet.
#include <memory>

#include "contracts/color_panel.h"
#include "memory_sheet_loader.h"
#include "sheet/sheet_controller.h"
#include "test_support.h"
#include "view/orbelune_view.h"

namespace orbelune::test {

class SheetFixture : public IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    view = newView(makeRect(0, 0, 640, 480), false, clock);
    sheet = std::make_unique<SheetController>(*view, context(), hostStore());
  }
  void TearDown() override {
    sheet.reset();
    view.reset();
    IsolatedTest::TearDown();
  }
  SheetContext context() { return {&loader, &host, &colors, &colorPanel}; }
  // Opens the sheet as the host does; nullptr when it cannot be shown.
  Panel* open() {
    auto panel = sheet->configureSheet();
    return panel ? *panel : nullptr;
  }
  MemoryTextField& field(const char* name) { return loader.field(name); }

  ColorPanel colorPanel;
  MemorySheetLoader loader;
  MemorySheetHost host;
  MemorySystemColors colors;
  std::shared_ptr<Clock> clock;  // the view's; nullptr: a real one
  std::unique_ptr<OrbeluneView> view;
  std::unique_ptr<SheetController> sheet;
};

}  // namespace orbelune::test
