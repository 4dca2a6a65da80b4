// Resource ids of Kelvane2.exe (the resource script and the code share them).
#pragma once

#define IDI_KELVANE2 101
#define IDB_IMAGE1 102
