// The exports of MORAVEX1.ocx called directly, and its resources.
#include "windows/com/windows_headers.h"
#include <gtest/gtest.h>
#include <winver.h>

#include <string>
#include <vector>

#include "MORAVEX1_h.h"
#include "tests/windows/library/library_test.h"

namespace {

class ModuleTest : public testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryW(OcxPath().c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    get_class_object = reinterpret_cast<decltype(&DllGetClassObject)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    can_unload_now = reinterpret_cast<decltype(&DllCanUnloadNow)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_TRUE(get_class_object && can_unload_now);
  }
  void TearDown() override { FreeLibrary(module); }
  IClassFactory* Factory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(get_class_object(CLSID_ChartServiceClient, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    return factory;
  }
  HMODULE module = nullptr;
  decltype(&DllGetClassObject) get_class_object = nullptr;
  decltype(&DllCanUnloadNow) can_unload_now = nullptr;
};

TEST_F(ModuleTest, ClassObjectOnlyForTheControlsClsid) {
  void* out = &out;
  EXPECT_EQ(get_class_object(IID__ChartServiceClient, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(get_class_object(CLSID_ChartServiceClient, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
}

TEST_F(ModuleTest, CanUnloadOnlyWithoutFactoriesAndServerLocks) {
  EXPECT_EQ(can_unload_now(), S_OK);
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(can_unload_now(), S_FALSE);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(can_unload_now(), S_FALSE);  // the server lock alone holds it
  factory = Factory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(can_unload_now(), S_OK);
}

TEST_F(ModuleTest, ALivingControlKeepsTheModuleLoaded) {
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  IUnknown* outer = factory;
  void* control = &control;
  EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &control), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(control, nullptr);
  const HRESULT created = factory->CreateInstance(nullptr, IID__ChartServiceClient, &control);
  factory->Release();
  if (created == E_NOTIMPL) GTEST_SKIP() << "built without the control";
  ASSERT_EQ(created, S_OK);
  EXPECT_EQ(can_unload_now(), S_FALSE);
  static_cast<IUnknown*>(control)->Release();
  EXPECT_EQ(can_unload_now(), S_OK);
}

TEST(Resources, VersionInformation) {
  const std::wstring path = OcxPath();
  std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), nullptr));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
  EXPECT_EQ(static_cast<VS_FIXEDFILEINFO*>(value)->dwFileVersionMS, 0x00010001u);
  EXPECT_EQ(static_cast<VS_FIXEDFILEINFO*>(value)->dwFileVersionLS, 0u);
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
  EXPECT_EQ(*static_cast<DWORD*>(value), 0x04B00409u);  // en-US, Unicode
  const std::pair<std::wstring, std::wstring> strings[] = {
      {L"FileVersion", L"1.01"},      {L"ProductVersion", L"1.01"},           {L"ProductName", L"MORAVEX1"},
      {L"InternalName", L"MORAVEX1"}, {L"OriginalFilename", L"MORAVEX1.ocx"}, {L"CompanyName", L"Korvane"},
      {L"OLESelfRegister", L""},
  };
  for (const auto& [name, expected] : strings) {
    const std::wstring query = L"\\StringFileInfo\\040904B0\\" + name;
    ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), &value, &length)) << name.c_str();
    EXPECT_EQ(length ? std::wstring(static_cast<wchar_t*>(value)) : L"", expected) << name.c_str();
  }
}

TEST(Resources, TypeLibraryAndToolboxBitmapOf16By15In16Colours) {
  HMODULE module = LoadLibraryExW(OcxPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB"), nullptr);
  HRSRC bitmap = FindResourceW(module, MAKEINTRESOURCEW(30000), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
  ASSERT_NE(bitmap, nullptr);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, bitmap)));
  EXPECT_EQ(header->biWidth, 16);
  EXPECT_EQ(header->biHeight, 15);
  EXPECT_EQ(header->biBitCount, 4);
  FreeLibrary(module);
}

}  // namespace
