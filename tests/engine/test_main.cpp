// The engine tests' main: the engine started as the programs start it, and the process takes
// the user's locale from the environment, as the window does through QApplication, so that a
// run under LC_ALL=de_DE.UTF-8 shows whether anything written or read depends on it.
#include <clocale>

#include <gtest/gtest.h>

#include "engine/merge/program_start.h"

int main(int argc, char** argv) {
  corvane::StartEngine();
  std::setlocale(LC_ALL, "");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
