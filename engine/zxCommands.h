// The player's commands: the identifiers that the menu items, the
// accelerators and the panel's buttons send to the main window in WM_COMMAND,
// and that the clock posts after a segment's last frame. The resource script
// includes this file too, so it holds #define lines only, behind a guard the
// resource compiler reads. The values are fixed: the end-to-end tests send
// them as numbers.
#ifndef ZX_COMMANDS_H
#define ZX_COMMANDS_H

#define CMD_EXIT 100
#define CMD_LOAD 101
#define CMD_PROPERTIES 102

#define CMD_PLAY 110
#define CMD_PAUSE 111
#define CMD_STOP 112
#define CMD_SEGMENTS 113
#define CMD_PREV 114
#define CMD_NEXT 115

#define CMD_PANEL 120
#define CMD_FULL_SCREEN 121

#define CMD_HELP 130
#define CMD_ABOUT 131

#endif
