// The small interfaces through which the merges and list commands reach the window:
// message boxes, the progress bar and the busy pointer. The window implements them with
// Qt; tests and the command-line program with plain recorders.
#pragma once

#include <string>

namespace corvane {

enum class MessageIcon { Information, Critical };

class Messages {
 public:
  virtual ~Messages() = default;
  // A modal message box with an OK button, titled with the program's name.
  virtual void Show(const std::string& text, MessageIcon icon) = 0;
};

class Progress {
 public:
  virtual ~Progress() = default;
  virtual void SetMaximum(int maximum) = 0;
  virtual void SetValue(int value) = 0;
};

class BusyPointer {
 public:
  virtual ~BusyPointer() = default;
  virtual void SetBusy(bool busy) = 0;
};

}  // namespace corvane
