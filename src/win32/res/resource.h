// Resource ids of Kelpo32.exe.
#pragma once

// The program title, used as the caption of every message box.
#define IDS_APP_TITLE 57344
