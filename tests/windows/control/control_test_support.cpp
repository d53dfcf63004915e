#include "control_test_support.h"

#include <cstring>
#include <fstream>

#include "MORAVEX1_h.h"
#include "components/windows_components.h"
#include "platform/failure.h"

namespace control_test {
namespace {
std::wstring ocx_path;
}

const std::wstring& OcxPath() { return ocx_path; }
void SetOcxPath(std::wstring path) { ocx_path = std::move(path); }

std::string Long(int32_t value) {
  std::string bytes(4, '\0');
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

std::string Single(float value) {
  std::string bytes(4, '\0');
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

std::string Frame(uint8_t type, const std::string& payload) {
  return std::string{static_cast<char>(type), '\0'} + Long(static_cast<int32_t>(payload.size())) + payload;
}

void FakeSocket::GetData(std::span<uint8_t> into) {
  if (into.size() > inbound_.size()) throw moravex::Failure(moravex::kSubscriptOutOfRange, "Winsock1", "short read");
  for (uint8_t& byte : into) {
    byte = inbound_.front();
    inbound_.pop_front();
  }
}

void FakeSocket::FireConnect() {
  state_ = moravex::kSocketConnected;
  events_->OnSocketConnect();
}

void FakeSocket::FireError(const moravex::Text& description) {
  state_ = moravex::kSocketError;
  events_->OnSocketError(10061, description);
}

void FakeSocket::FirePeerClose() {
  state_ = moravex::kSocketClosing;
  events_->OnSocketClose();
}

void FakeSocket::Arrive(const std::string& bytes) {
  inbound_.insert(inbound_.end(), bytes.begin(), bytes.end());
  events_->OnSocketDataArrival(static_cast<int32_t>(inbound_.size()));
}

void FakeTimer::SetInterval(int32_t milliseconds) {
  if (refuse_) throw moravex::Failure(moravex::kInvalidPropertyValue, "tmrDataRequestTimeout", "Invalid property value");
  interval_ = milliseconds;
}

moravex::Components MakeTestComponents(FakeParts& parts) {
  moravex::Components components = MakeWindowsComponents();
  auto socket = std::make_unique<FakeSocket>();
  auto login = std::make_unique<FakeTimer>();
  auto data = std::make_unique<FakeTimer>();
  auto session = std::make_unique<FakeTimer>();
  parts = {socket.get(), login.get(), data.get(), session.get()};
  components.winsock1 = std::move(socket);
  components.tmr_login_and_connect_timeout = std::move(login);
  components.tmr_data_request_timeout = std::move(data);
  components.tmr_session_info_timeout = std::move(session);
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
    } else if ((arg.vt & VT_BYREF) == 0 && SUCCEEDED(VariantChangeType(&text, &arg, 0, VT_BSTR))) {
      event.texts.emplace_back(text.bstrVal, SysStringLen(text.bstrVal));
    } else {
      event.texts.emplace_back();
    }
    VariantClear(&text);
  }
  events.push_back(event);
  // Held for the callback: it may release the last outside reference.
  AddRef();
  if (on_event) on_event(id, params);
  Release();
  return S_OK;
}

void* TestSite::QueryOther(REFIID riid) {
  if (riid == __uuidof(IOleWindow)) return static_cast<IOleInPlaceSite*>(this);
  return nullptr;
}

HRESULT TestSite::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

HRESULT TestSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
  if (!ambient || id != DISPID_AMBIENT_USERMODE || result == nullptr) return DISP_E_MEMBERNOTFOUND;
  VariantInit(result);
  result->vt = VT_BOOL;
  result->boolVal = user_mode ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

std::vector<uint32_t> DrawToPixels(IViewObject* view, LONG width, LONG height, uint32_t background) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<uint32_t> pixels;
  if (dc == nullptr || bitmap == nullptr) return pixels;
  HGDIOBJ previous = SelectObject(dc, bitmap);
  auto* words = static_cast<uint32_t*>(bits);
  std::fill(words, words + width * height, background);
  RECTL bounds{0, 0, width, height};
  if (SUCCEEDED(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0))) {
    GdiFlush();
    pixels.assign(words, words + width * height);
  }
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return pixels;
}

bool WriteBmp(const std::wstring& path, const std::vector<uint32_t>& pixels, LONG width, LONG height) {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  const DWORD data_size = static_cast<DWORD>(pixels.size() * 4);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + data_size;
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(out, &file, sizeof(file), &written, nullptr) &&
            WriteFile(out, &header, sizeof(header), &written, nullptr) &&
            WriteFile(out, pixels.data(), data_size, &written, nullptr);
  CloseHandle(out);
  return ok;
}

}  // namespace control_test
