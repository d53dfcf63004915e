#include "windows/components/system_text.h"

namespace moravex::windows {

Text SystemMessage(DWORD code, std::string_view fallback) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  Text text;
  if (length > 0 && buffer != nullptr) text = FromWide(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) text.pop_back();
  if (text.empty()) {
    // Fallback texts are ASCII.
    text.assign(fallback.begin(), fallback.end());
  }
  return text;
}

}  // namespace moravex::windows
