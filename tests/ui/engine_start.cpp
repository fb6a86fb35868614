// Linked into every window test: the engine is started as the programs start it, before the
// test's own main (QTEST_MAIN) runs.
#include "engine/merge/program_start.h"

namespace {

const bool kStarted = (corvane::StartEngine(), true);

}  // namespace
