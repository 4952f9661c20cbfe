// What the player shows, as one JSON text, for an inspector loaded into the
// player's own process (the end-to-end tests'): another process cannot read
// the player's menus, and the panel's texts are drawn, not kept in windows.
//
//   {"playState": 0|1|2, "currentSegment": n, "frameIndex": n,
//    "segmentCount": n, "noEmbeddedFilm": b, "fullScreen": b,
//    "panelVisible": b, "segmentsVisible": b, "title": "...",
//    "window": {"left","top","right","bottom","maximised","minimised"},
//    "client": {"left","top","width","height"}           (screen coordinates)
//    "picture": {"width","height","x","y","scaled","scaledWidth","scaledHeight",
//                "pixelsSha256" (paused only: SHA-256 of the unscaled picture as
//                blue, green, red, 0 bytes, rows top to bottom; "" without one)}
//                                                         (client coordinates)
//    "panel": {"shown", "left","top","width","height", "info","time","title",
//              "volumeText","volumeEnabled","volumePosition","speedPosition",
//              "textBoxes": {"info"|"time"|"percent"|"title":
//                            {"left","top","right","bottom","textWidth"}},
//              "volumeSlider", "speedSlider": {"rect","position","min","max","thumbPos"},
//              "segmentBar": {"rect","positionMs","totalMs"},
//              "buttons": {"play": {"rect","shown","enabled","checked"}, ...}},
//      speedPosition = the player's speed (the model's, which the slider sets)
//      rect = {"left","top","width","height"}               (screen coordinates)
//    "segments": {"shown", "items": ["..."], "selected": n},
//    "menuBar": {"attached": b, "menus": [{"text","items":[item...]}]},
//    "popupMenu": [item...],  item = {"text","separator","checked","grayed"}
//    "focus": "play"|"pause"|...|"segmentList"|"main"|"panel"|"other"|"none",
//    "menuMode": b (a menu has the keyboard: the menu bar after Alt, say),
//    "sound": {"name": b, "mediaPlayer": b, "mediaPlayerOpen": b,
//              "waveOutOpen": b, "streaming": b},
//    "process": {"workingSetBytes","privateBytes","handles","gdiObjects",
//                "userObjects","ticksSkipped"}}
//
// The text is plain ASCII: every text of the player (in the system's ANSI
// code page) is written with JSON escapes for quotation marks, backslashes
// and every character outside printable ASCII.
#pragma once

#include <string>

// The description; main window thread only.
std::string DescribePlayer();

// The same, exported for the inspector: copies the text with its NUL into
// buffer when it fits and returns its length without the NUL.
extern "C" __declspec(dllexport) int zxDescribePlayer(char *buffer, int size);
