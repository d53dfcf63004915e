// The exports of MORAVEX1.ocx called directly, and its resources.
#include <winsock2.h>  // before windows.h, as everywhere in the Windows layer
#include <windows.h>
#include <gtest/gtest.h>
#include <winver.h>

#include <string>

#include "MORAVEX1_h.h"
#include "library_test.h"

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

class ModuleTest : public testing::Test {
protected:
    void SetUp() override {
        module = LoadLibraryW(OcxPath().c_str());
        ASSERT_NE(module, nullptr) << GetLastError();
        get_class_object = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        can_unload_now =
            reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
        ASSERT_NE(get_class_object, nullptr);
        ASSERT_NE(can_unload_now, nullptr);
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }
    IClassFactory* Factory() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(get_class_object(CLSID_ChartServiceClient, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                  S_OK);
        return factory;
    }
    HMODULE module = nullptr;
    GetClassObjectFn get_class_object = nullptr;
    CanUnloadNowFn can_unload_now = nullptr;
};

TEST_F(ModuleTest, ClassObjectOnlyForTheControlsClsid) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(get_class_object(IID__ChartServiceClient, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    IUnknown* other = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(factory->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    factory->Release();
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

std::wstring VersionString(const std::vector<BYTE>& block, const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length)) return L"<missing>";
    return length ? std::wstring(static_cast<const wchar_t*>(value)) : L"";
}

TEST(Resources, VersionInformation) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(OcxPath().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(OcxPath().c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);
    const std::pair<std::wstring, std::wstring> strings[] = {
        {L"FileVersion", L"1.01"},        {L"ProductVersion", L"1.01"},
        {L"ProductName", L"MORAVEX1"},    {L"InternalName", L"MORAVEX1"},
        {L"OriginalFilename", L"MORAVEX1.ocx"}, {L"CompanyName", L"Korvane"},
        {L"OLESelfRegister", L""},
    };
    for (const auto& [name, value] : strings) EXPECT_EQ(VersionString(block, name), value) << name.c_str();
}

TEST(Resources, ToolboxBitmapIs16By15With16Colours) {
    HMODULE module = LoadLibraryExW(OcxPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(30000), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    ASSERT_NE(found, nullptr);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biWidth, 16);
    EXPECT_EQ(header->biHeight, 15);
    EXPECT_EQ(header->biBitCount, 4);
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB"), nullptr);
    FreeLibrary(module);
}

}  // namespace
