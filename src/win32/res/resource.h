// Resource ids of Kelpo32.exe: the one list of command values, resource and control ids, the
// title and the window class, which the resource script, the window's dispatch and the menu read.
#pragma once

#include "app/Commands.h"
