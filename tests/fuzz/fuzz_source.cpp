// libFuzzer target: kptool's source assembler (AssembleSource) on any text.
#include "FuzzCheck.h"
#include "SourceCheck.h"

KP_FUZZ_CHECK(kp::fuzz::CheckSource)
