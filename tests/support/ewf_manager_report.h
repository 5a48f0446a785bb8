/* What "ewfmgr C:" prints for a RAM overlay kept in the registry, around its
   state and its boot command: one text for the stand-in manager our build
   makes (C) and for the fake machine's (C++). */
#pragma once

#define EWF_MANAGER_REPORT_BEFORE_STATE \
  "Protected Volume Configuration\r\n"  \
  "  Type                RAM (REG)\r\n" \
  "  State               "
#define EWF_MANAGER_REPORT_BEFORE_BOOT_COMMAND \
  "\r\n"                                       \
  "  Boot Command        "
#define EWF_MANAGER_REPORT_AFTER_BOOT_COMMAND                                 \
  "\r\n"                                                                      \
  "    Param1            0\r\n"                                               \
  "    Param2            0\r\n"                                               \
  "  Volume ID           B4 2A 9F 01 00 7E 00 00 00 00 00 00 00 00 00 00\r\n" \
  "  Device Name         \"\\Device\\HarddiskVolume1\" [C:]\r\n"              \
  "  Max Levels          1\r\n"                                               \
  "  Clump Size          512\r\n"                                             \
  "  Current Level       1\r\n"                                               \
  "\r\n"                                                                      \
  "  Memory used for data     1024 bytes\r\n"                                 \
  "  Memory used for mapping  4096 bytes\r\n"
