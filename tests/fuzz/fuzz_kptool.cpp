// libFuzzer target: kptool's dump, check --lint and the source of dump --source on any bytes
// (KptoolCheck.h).
#include "FuzzCheck.h"
#include "KptoolCheck.h"

KP_FUZZ_CHECK(kp::fuzz::CheckKptool)
