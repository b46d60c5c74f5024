// libFuzzer target: the context menu (BuildContextMenu) over any file image.
#include "FuzzCheck.h"
#include "InputChecks.h"

KP_FUZZ_CHECK(kp::fuzz::CheckContextMenu)
