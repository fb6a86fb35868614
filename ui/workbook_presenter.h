// Shows every application a merge makes visible in a workbook window of its own.
#pragma once

#include <memory>

#include "engine/automation/spreadsheet_automation.h"

namespace corvane {

class WorkbookPrompts;

class WorkbookWindowPresenter : public ApplicationPresenter {
 public:
  // The windows ask their questions through `prompts`; message boxes and the file dialog
  // when null.
  explicit WorkbookWindowPresenter(std::shared_ptr<WorkbookPrompts> prompts = nullptr);
  // Opens a window on the application's workbook, raised above the others; the window owns
  // the application from then on. An application without an open workbook shows nothing.
  void present(std::shared_ptr<Application> app) override;

 private:
  std::shared_ptr<WorkbookPrompts> prompts_;
};

}  // namespace corvane
