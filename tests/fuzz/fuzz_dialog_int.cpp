// libFuzzer target: the settings dialog's number boxes (ParseDialogInteger).
#include "FuzzCheck.h"
#include "InputChecks.h"

KP_FUZZ_CHECK(kp::fuzz::CheckDialogInteger)
