// libFuzzer target: the command-line reader (ReadCommandLine over a simulated desktop, CopyArgument).
#include "FuzzCheck.h"
#include "InputChecks.h"

KP_FUZZ_CHECK(kp::fuzz::CheckCommandLine)
