#pragma once

#define IDD_ANIM_TAB 101
