#include "tests/windows/control/control_test_support.h"

#include "MORAVEX1_h.h"
#include "windows/components/windows_components.h"
#include "native/platform_socket.h"

namespace moravex::windows::test {
namespace {
std::wstring ocx_path;
constexpr LONG kWidth = 364;
constexpr LONG kHeight = 51;
constexpr uint32_t kBackground = 0x00FF00FF;

uint32_t Pixel(int system_color) {
  const COLORREF color = GetSysColor(system_color);
  return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
}

// Pixels of `color` within [left, right) x [top, bottom).
int Count(const std::vector<uint32_t>& pixels, uint32_t color, LONG left, LONG top, LONG right, LONG bottom) {
  int count = 0;
  for (LONG y = top; y < bottom; ++y) {
    for (LONG x = left; x < right; ++x) count += pixels[static_cast<size_t>(y * kWidth + x)] == color;
  }
  return count;
}
}  // namespace

const std::wstring& OcxPath() { return ocx_path; }

HRESULT CreateThroughTheOcx(HMODULE library, IUnknown* sink, moravex::com::ComPtr<_ChartServiceClient>& control,
                            DWORD* cookie) {
  auto get_class = Export<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(library, "DllGetClassObject");
  if (get_class == nullptr) return E_NOINTERFACE;
  moravex::com::ComPtr<IClassFactory> factory;
  moravex::com::ComPtr<IConnectionPointContainer> container;
  moravex::com::ComPtr<IConnectionPoint> point;
  DWORD advised = 0;
  HRESULT hr = get_class(CLSID_ChartServiceClient, __uuidof(IClassFactory), factory.PutVoid());
  if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID__ChartServiceClient, control.PutVoid());
  if (SUCCEEDED(hr)) hr = control.As(container);
  if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(DIID___ChartServiceClient, point.Put());
  if (SUCCEEDED(hr)) hr = point->Advise(sink, &advised);
  if (cookie != nullptr) *cookie = advised;
  return hr;
}
void SetOcxPath(std::wstring path) { ocx_path = std::move(path); }

moravex::Components MakeTestComponents(const FakeParts& parts) {
  moravex::Components components = MakeWindowsComponents(moravex::kDefaultReadSize);
  components.winsock1 = moravex::FakeSocket::Share(parts.socket);
  components.tmr_login_and_connect_timeout =
      moravex::FakeTimer::Share(std::make_shared<moravex::FakeTimer>("tmrLoginAndConnectTimeout"));
  components.tmr_data_request_timeout = moravex::FakeTimer::Share(parts.data_timer);
  components.tmr_session_info_timeout = moravex::FakeTimer::Share(parts.session_timer);
  return components;
}

void* RecordingSink::QueryOther(REFIID riid) {
  return riid == DIID___ChartServiceClient ? static_cast<IDispatch*>(this) : nullptr;
}

HRESULT RecordingSink::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

HRESULT RecordingSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  Event event{id, {}, {}};
  for (UINT i = params->cArgs; i-- > 0;) {
    VARIANTARG& arg = params->rgvarg[i];
    event.types.push_back(arg.vt);
    VARIANT text;
    VariantInit(&text);
    if (arg.vt == VT_R4) {
      wchar_t buffer[32];
      swprintf(buffer, 32, L"%g", static_cast<double>(arg.fltVal));
      event.texts.emplace_back(buffer);
    } else if (arg.vt == (VT_BYREF | VT_DISPATCH)) {
      event.texts.emplace_back(*arg.ppdispVal != nullptr ? L"object" : L"nothing");
    } else if (SUCCEEDED(VariantChangeType(&text, &arg, 0, VT_BSTR))) {
      event.texts.emplace_back(text.bstrVal, SysStringLen(text.bstrVal));
    }
    VariantClear(&text);
  }
  events.push_back(event);
  // Held for the callback, which may release every other reference.
  AddRef();
  if (on_event) on_event(id, params);
  Release();
  return S_OK;
}

HRESULT TestSite::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

HRESULT TestSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
  if (!ambient || id != DISPID_AMBIENT_USERMODE || result == nullptr) return DISP_E_MEMBERNOTFOUND;
  result->vt = VT_BOOL;
  result->boolVal = user_mode ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

std::vector<uint32_t> DrawPanel(IViewObject* view) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<uint32_t> pixels;
  if (bitmap == nullptr) return pixels;
  HGDIOBJ previous = SelectObject(dc, bitmap);
  auto* words = static_cast<uint32_t*>(bits);
  std::fill(words, words + kWidth * kHeight, kBackground);
  RECTL bounds{0, 0, kWidth, kHeight};
  if (SUCCEEDED(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0))) {
    GdiFlush();
    pixels.assign(words, words + kWidth * kHeight);
  }
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return pixels;
}

bool IsBlank(const std::vector<uint32_t>& pixels) {
  return pixels.size() == size_t(kWidth * kHeight) &&
         Count(pixels, kBackground, 0, 0, kWidth, kHeight) == kWidth * kHeight;
}

bool LooksLikeThePanel(const std::vector<uint32_t>& pixels) {
  if (pixels.size() != size_t(kWidth * kHeight) || Count(pixels, kBackground, 0, 0, kWidth, kHeight) != 0) return false;
  const uint32_t text = Pixel(COLOR_BTNTEXT);
  // Label1 spans 4..93 x 4..49 pixels; the icons start right of it.
  return pixels.back() == Pixel(COLOR_BTNFACE) && Count(pixels, text, 4, 4, 93, 49) > 20 &&
         Count(pixels, text, 100, 4, 260, 49) > 40 && Count(pixels, text, 0, 0, kWidth, 4) == 0;
}

bool WriteBmp(const std::wstring& path, const std::vector<uint32_t>& pixels) {
  const DWORD size = static_cast<DWORD>(pixels.size() * 4);
  BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB, size, 0, 0, 0, 0};
  BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  file.bfSize = file.bfOffBits + size;
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(out, &file, sizeof(file), &written, nullptr) &&
                  WriteFile(out, &header, sizeof(header), &written, nullptr) &&
                  WriteFile(out, pixels.data(), size, &written, nullptr);
  CloseHandle(out);
  return ok;
}

}  // namespace moravex::windows::test
