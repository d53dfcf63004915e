#include "windows/control/design_view.h"

#include "windows/control/chart_service_control.h"

namespace moravex::windows {
namespace {

// Maps twips of the panel into the bounds' device units.
class PanelScale {
 public:
  explicit PanelScale(const RECT& bounds) : bounds_(bounds) {}
  LONG X(LONG twips) const { return bounds_.left + MulDiv(twips, bounds_.right - bounds_.left, kPanelWidthTwips); }
  LONG Y(LONG twips) const { return bounds_.top + MulDiv(twips, bounds_.bottom - bounds_.top, kPanelHeightTwips); }
  RECT Rect(LONG left, LONG top, LONG width, LONG height) const {
    return RECT{X(left), Y(top), X(left + width), Y(top + height)};
  }

 private:
  RECT bounds_;
};

// Selects a GDI object for a scope and deletes it afterwards.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), object_(object), previous_(SelectObject(dc, object)) {}
  ~Selected() {
    SelectObject(dc_, previous_);
    DeleteObject(object_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_;
  HGDIOBJ previous_;
};

// A socket: a plug with two pins and its cable.
void DrawSocketIcon(HDC dc, const RECT& box) {
  const LONG w = box.right - box.left;
  const LONG h = box.bottom - box.top;
  Rectangle(dc, box.left + w / 4, box.top + h / 3, box.right - w / 4, box.bottom - h / 6);
  Rectangle(dc, box.left + w * 3 / 8, box.top + h / 8, box.left + w * 3 / 8 + w / 10, box.top + h / 3);
  Rectangle(dc, box.right - w * 3 / 8 - w / 10, box.top + h / 8, box.right - w * 3 / 8, box.top + h / 3);
  MoveToEx(dc, box.left + w / 2, box.bottom - h / 6, nullptr);
  LineTo(dc, box.left + w / 2, box.bottom);
}

// A timer: a clock face with two hands.
void DrawTimerIcon(HDC dc, const RECT& box) {
  const LONG cx = (box.left + box.right) / 2;
  const LONG cy = (box.top + box.bottom) / 2;
  Ellipse(dc, box.left, box.top, box.right, box.bottom);
  MoveToEx(dc, cx, cy, nullptr);
  LineTo(dc, cx, box.top + (box.bottom - box.top) / 5);
  MoveToEx(dc, cx, cy, nullptr);
  LineTo(dc, box.right - (box.right - box.left) / 4, cy);
}

}  // namespace

void DrawDesignPanel(HDC dc, const RECT& bounds) {
  const PanelScale scale(bounds);
  const int saved = SaveDC(dc);

  FillRect(dc, &bounds, GetSysColorBrush(COLOR_BTNFACE));

  // Label1: left 60, top 60, 1335 x 675 twips; 8 point text (160 twips).
  RECT label = scale.Rect(60, 60, 1335, 675);
  {
    const LONG height = scale.Y(160) - scale.Y(0);
    Selected font(dc, CreateFontW(-(height > 1 ? height : 1), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                  L"MS Sans Serif"));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextW(dc, L"Korvane SDK 1.1", -1, &label, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
  }

  // The socket and the three timers, 480 twips square, in a row to the right.
  {
    Selected pen(dc, CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNTEXT)));
    Selected brush(dc, CreateSolidBrush(GetSysColor(COLOR_WINDOW)));
    constexpr LONG kIcon = 480;
    constexpr LONG kTop = (kPanelHeightTwips - kIcon) / 2;
    DrawSocketIcon(dc, scale.Rect(1515, kTop, kIcon, kIcon));
    for (LONG i = 0; i < 3; ++i) DrawTimerIcon(dc, scale.Rect(2115 + i * 600, kTop, kIcon, kIcon));
  }
  RestoreDC(dc, saved);
}

}  // namespace moravex::windows
