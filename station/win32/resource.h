// Resource ids of quarveld-station.exe (the resource script and the code share them).
#pragma once

#define IDI_STATION 101
#define IDD_STATION 102
