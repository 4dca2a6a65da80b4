/* Resource and control ids of QUARVELD.exe: one table for the resource
   script, the program and the tests that find controls by id. The numbers are
   fixed: the radio-button ids are what TORWIN.INI stores. */
#ifndef QUARVELD_WIN32_RESOURCE_H
#define QUARVELD_WIN32_RESOURCE_H

#define IDI_APPLICATION_CHIP 101
#define IDI_INFORMATION_RED 102
#define IDI_EXCLAMATION_CYAN 103

#define IDR_MAINMENU 104
#define IDD_WRITE 105
#define IDD_WRITE_END 106
#define IDD_WRITE_ERROR 107
#define IDD_PORT 108
#define IDD_EXIT 109

#define IDM_WRITE 301
#define IDM_PORT 302
#define IDM_EXIT 303

#define IDC_19200 201
#define IDC_9600 202
#define IDC_4800 203
#define IDC_2400 204
#define IDC_8BIT 205
#define IDC_7BIT 206
#define IDC_NONE 207
#define IDC_ODD 208
#define IDC_EVEN 209
#define IDC_COM1 210
#define IDC_COM2 211
#define IDC_LPT1 212
#define IDC_COUNTER 213

/* Labels and group boxes are found by their text; they carry no id. */
#define IDC_STATIC_TEXT (-1)

#endif
