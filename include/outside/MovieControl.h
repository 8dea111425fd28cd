// The movie control that the animated tab embeds: an outside ActiveX control. Its
// automation interface is reached through IDispatch by member name (GetIDsOfNames, then
// Invoke), so nothing here depends on the layout of its custom interface.
#pragma once

#include <windows.h>

// {D27CDB6E-AE6D-11CF-96B8-444553540000}: the control's class.
static const CLSID kMovieControlClsid = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6D-AE6D-11CF-96B8-444553540000}: its event interface DShockwaveFlashEvents.
static const IID kMovieEventsIid = {0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The event that carries the movie's commands: two text arguments, command and arguments.
#define MOVIE_DISPID_FSCOMMAND 150

// Members of the movie interface.
#define MOVIE_MEMBER_VERSION L"FlashVersion"         // method, no arguments: the control's version number
#define MOVIE_MEMBER_WINDOW_MODE L"WMode"            // property, text ("window", "transparent")
#define MOVIE_MEMBER_SCALE L"Scale"                  // property, text ("showAll")
#define MOVIE_MEMBER_BACKGROUND L"BackgroundColor"   // property, number (-1: the movie's own)
#define MOVIE_MEMBER_EMBED L"EmbedMovie"             // property, boolean
#define MOVIE_MEMBER_LOAD L"LoadMovie"               // method (layer, path)
#define MOVIE_MEMBER_PLAY L"Play"                    // method, no arguments
