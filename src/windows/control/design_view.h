// The control's design-time picture: a button-face panel with Label1 and the
// icons of its socket and three timers.
#pragma once
#include "windows/com/windows_headers.h"

namespace moravex::windows {

// Paints the whole panel (5460 x 765 twips) scaled into `bounds` of `dc`.
void DrawDesignPanel(HDC dc, const RECT& bounds);

}  // namespace moravex::windows
