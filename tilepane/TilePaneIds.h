// Templates and controls of the home tile pane.
#pragma once

#define IDD_TILEPANE 101
#define IDD_TILEBLOCKS 102
#define IDD_TILESCROLL 104

#define IDC_TILE_BROWSER 1000
#define IDC_TILE_INFO 1006
#define IDC_TILE_HOME 1008
#define IDC_TILE_RENEWAL 1009
#define IDC_TILE_ERROR 1011
#define IDC_TILE_VSCROLL 1012
#define IDC_TILE_BACK 1017
#define IDC_TILE_FORWARD 1018
