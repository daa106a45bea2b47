// The COM, BSTR, PROPVARIANT, registry, version-resource and network
// functions: every fixed answer with its out values and last error, BSTR
// block layout, and that clearing frees exactly what it owns (the suite runs
// under LeakSanitizer, and the heap is also counted directly).
#include "combaseapi.h"
#include "heap_probe.h"
#include "oleauto.h"
#include "propidl.h"
#include "qposix_path.h"
#include "winnetwk.h"
#include "winreg.h"
#include "winver.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

constexpr DWORD kSentinelError = 0xBADC0DE;
void* const kStale = reinterpret_cast<void*>(static_cast<uintptr_t>(0xDEADBEEF));

uint32_t BstrPrefix(BSTR b) {
    uint32_t n;
    std::memcpy(&n, reinterpret_cast<const unsigned char*>(b) - 4, 4);
    return n;
}

// ---- COM -------------------------------------------------------------------

TEST(Com, StartUpSucceedsAndDoesNothing) {
    SetLastError(kSentinelError);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
    EXPECT_EQ(GetLastError(), kSentinelError);
}

TEST(Com, ObjectCreationFailsWithANullObject) {
    const CLSID anyClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    const IID anyInterface = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    struct Row {
        const char* what;
        std::function<HRESULT(LPVOID*)> call;
        HRESULT expected;
    };
    const Row rows[] = {
        {"CoCreateInstance: no class is registered",
         [&](LPVOID* out) {
             return CoCreateInstance(anyClass, nullptr, CLSCTX_INPROC_SERVER, anyInterface, out);
         },
         REGDB_E_CLASSNOTREG},
        {"LoadIFilter: no document filter",
         [](LPVOID* out) { return LoadIFilter(u"/tmp/a.pdf", nullptr, out); }, E_FAIL},
    };
    for (const Row& r : rows) {
        LPVOID object = kStale;
        SetLastError(kSentinelError);
        EXPECT_EQ(r.call(&object), r.expected) << r.what;
        EXPECT_EQ(object, nullptr) << r.what << ": the old value must not survive";
        EXPECT_EQ(GetLastError(), kSentinelError) << r.what;
        EXPECT_EQ(r.call(nullptr), r.expected) << r.what << ", without an out pointer";
    }
}

TEST(Com, ClassIdFromStringClearsTheIdentifier) {
    const char16_t* texts[] = {u"{00021401-0000-0000-C000-000000000046}", u"", u"not an id"};
    for (const char16_t* text : texts) {
        CLSID id;
        std::memset(&id, 0xA5, sizeof id);
        EXPECT_EQ(CLSIDFromString(text, &id), CO_E_CLASSSTRING);
        const CLSID zero = {};
        EXPECT_EQ(std::memcmp(&id, &zero, sizeof id), 0) << "all 16 bytes are cleared";
        EXPECT_EQ(CLSIDFromString(text, nullptr), CO_E_CLASSSTRING);
    }
    EXPECT_EQ(CLSIDFromString(nullptr, nullptr), CO_E_CLASSSTRING);
}

// ---- BSTR ------------------------------------------------------------------

// Checks the whole block of a BSTR: prefix, units, terminator and the size of
// the heap block behind it.
void ExpectBstr(BSTR b, const std::u16string& units, const char* what) {
    ASSERT_NE(b, nullptr) << what;
    EXPECT_EQ(BstrPrefix(b), units.size() * 2) << what << ": the prefix counts bytes";
    EXPECT_EQ(std::u16string(b, units.size()), units) << what;
    EXPECT_EQ(b[units.size()], 0) << what << ": terminator";
    const void* block = reinterpret_cast<const unsigned char*>(b) - 4;
    size_t expected = 4 + 2 * units.size() + 2;
    if (qtest::kExactHeap)
        EXPECT_EQ(qtest::HeapBlockSize(block), expected) << what << ": one block, 4 bytes before";
    else
        EXPECT_GE(qtest::HeapBlockSize(block), expected) << what;
}

TEST(Bstr, AllocStringLenLaysOutPrefixUnitsAndTerminator) {
    struct Row {
        const char* what;
        const OLECHAR* text;
        UINT units;
        std::u16string expected;
    };
    const Row rows[] = {
        {"null text gives zero units", nullptr, 3, std::u16string(3, u'\0')},
        {"empty string", u"", 0, u""},
        {"null text of no units", nullptr, 0, u""},
        {"odd number of units", u"hello", 5, u"hello"},
        {"a prefix of a longer text", u"abcdef", 2, u"ab"},
        {"copies by count, past a 0 unit", u"a\0b", 3, std::u16string(u"a\0b", 3)},
        {"units outside ASCII and surrogates", u"\u00e9\U0001F600", 3, u"\u00e9\U0001F600"},
    };
    for (const Row& r : rows) {
        BSTR b = SysAllocStringLen(r.text, r.units);
        ExpectBstr(b, r.expected, r.what);
        SysFreeString(b);
    }
}

TEST(Bstr, AllocStringTakesTheTextUpToItsTerminator) {
    struct Row {
        const char* what;
        const OLECHAR* text;
        std::u16string expected;
    };
    const Row rows[] = {
        {"empty", u"", u""},
        {"odd length", u"quilb", u"quilb"},
        {"even length", u"ab", u"ab"},
        {"stops at the first 0 unit", u"ab\0cd", u"ab"},
    };
    for (const Row& r : rows) {
        BSTR b = SysAllocString(r.text);
        ExpectBstr(b, r.expected, r.what);
        SysFreeString(b);
    }
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
}

TEST(Bstr, LengthsThatDoNotFitThePrefixAreRefused) {
    // 2 * units must fit the 32-bit byte length; otherwise the prefix would
    // wrap and describe a short string over a huge block.
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringLen(u"x", 0xFFFFFFFFu), nullptr);
}

TEST(Bstr, FreeReleasesTheWholeBlock) {
    size_t before = qtest::LiveHeapBytes();
    for (int i = 0; i < 100; i++) {
        BSTR a = SysAllocStringLen(nullptr, 3);
        BSTR b = SysAllocString(u"some longer text of many units");
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        SysFreeString(a);
        SysFreeString(b);
    }
    if constexpr (qtest::kExactHeap) {
        EXPECT_EQ(qtest::LiveHeapBytes(), before);
    }
    SysFreeString(nullptr);
}

// ---- PROPVARIANT -------------------------------------------------------------

bool AllZero(const PROPVARIANT& pv) {
    const PROPVARIANT zero = {};
    return std::memcmp(&pv, &zero, sizeof pv) == 0;
}

TEST(PropVariant, ClearFreesAnOwnedBstrAndZeroesTheRecord) {
    struct Row {
        const char* what;
        VARTYPE tag;
        bool heldBstr; // the value slot holds a live BSTR
        bool owned; // and the record owns it
    };
    const Row rows[] = {
        {"BSTR value is freed", VT_BSTR, true, true},
        {"BSTR tag with a null pointer", VT_BSTR, false, false},
        {"integer tag whose bits equal a live BSTR is not freed", VT_UI8, true, false},
        {"pointer-sized tag that is not a BSTR", VT_FILETIME, true, false},
        {"empty record", VT_EMPTY, false, false},
        {"4-byte integer", VT_UI4, false, false},
    };
    for (const Row& r : rows) {
        BSTR bstr = r.heldBstr ? SysAllocString(u"item/path.txt") : nullptr;
        size_t before = qtest::LiveHeapBytes();
        PROPVARIANT pv;
        std::memset(&pv, 0x5A, sizeof pv);
        pv.vt = r.tag;
        if (r.heldBstr)
            pv.bstrVal = bstr;
        else if (r.tag == VT_BSTR)
            pv.bstrVal = nullptr;
        EXPECT_EQ(PropVariantClear(&pv), S_OK) << r.what;
        EXPECT_TRUE(AllZero(pv)) << r.what << ": all 16 bytes are 0";
        size_t freed = before - qtest::LiveHeapBytes();
        if (r.owned) {
            if constexpr (qtest::kExactHeap) {
                EXPECT_EQ(freed, 4 + 2 * 13 + 2u) << r.what;
            }
        } else {
            if constexpr (qtest::kExactHeap) {
                EXPECT_EQ(freed, 0u) << r.what;
            }
            // A BSTR the record did not own is still ours to free; had it
            // been freed already, this second free would stop the test.
            SysFreeString(bstr);
        }
    }
    EXPECT_EQ(PropVariantClear(nullptr), S_OK);
}

TEST(PropVariant, ClearFreesAStringAComponentBuiltWithMalloc) {
    // Components build their strings the same way: a malloc block with the
    // 32-bit byte length in front. LeakSanitizer fails the test if the block
    // survives.
    const char16_t text[] = u"member.bin";
    size_t bytes = sizeof text - 2;
    auto* block = static_cast<unsigned char*>(std::malloc(4 + sizeof text));
    ASSERT_NE(block, nullptr);
    uint32_t len = static_cast<uint32_t>(bytes);
    std::memcpy(block, &len, 4);
    std::memcpy(block + 4, text, sizeof text);
    size_t before = qtest::LiveHeapBytes();
    PROPVARIANT pv = {};
    pv.vt = VT_BSTR;
    pv.bstrVal = reinterpret_cast<BSTR>(block + 4);
    EXPECT_EQ(PropVariantClear(&pv), S_OK);
    if constexpr (qtest::kExactHeap) {
        EXPECT_EQ(before - qtest::LiveHeapBytes(), 4 + sizeof text);
    }
    EXPECT_TRUE(AllZero(pv));
}

// ---- registry, version resources, network --------------------------------------

TEST(Registry, EveryKeyIsMissing) {
    SetLastError(kSentinelError);
    HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, nullptr};
    for (HKEY root : roots) {
        HKEY key = kStale;
        EXPECT_EQ(RegOpenKeyExW(root, u"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
                                KEY_READ, &key),
                  static_cast<LONG>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(key, nullptr);
        EXPECT_EQ(RegOpenKeyExW(root, u"", 0, KEY_QUERY_VALUE, nullptr),
                  static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    }

    DWORD type = 77, size = 260;
    BYTE data[4] = {1, 2, 3, 4};
    EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, u"~MHz", nullptr, &type, data, &size),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(type, 77u) << "nothing is written";
    EXPECT_EQ(size, 260u);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(RegQueryValueExW(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), static_cast<LONG>(ERROR_SUCCESS));
    EXPECT_EQ(RegCloseKey(nullptr), static_cast<LONG>(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), kSentinelError) << "registry results are returned, not set";
}

TEST(VersionInfo, EveryFileIsUnversioned) {
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    WCHAR selfPath[4097];
    ASSERT_GE(PathFromPosix(self, selfPath, 4097), 0);
    struct Row {
        const char* what;
        const WCHAR* path;
    };
    const Row rows[] = {
        {"an existing program", selfPath},
        {"a missing file", u"\\nonexistent\\file.dll"},
        {"no path", nullptr},
    };
    for (const Row& r : rows) {
        DWORD handle = 99;
        SetLastError(kSentinelError);
        EXPECT_EQ(GetFileVersionInfoSizeW(r.path, &handle), 0u) << r.what;
        EXPECT_EQ(handle, 0u) << r.what;
        EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND) << r.what;
        SetLastError(kSentinelError);
        EXPECT_EQ(GetFileVersionInfoSizeW(r.path, nullptr), 0u) << r.what;
        EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND) << r.what;

        BYTE block[64];
        std::memset(block, 0xEE, sizeof block);
        SetLastError(kSentinelError);
        EXPECT_EQ(GetFileVersionInfoW(r.path, 0, sizeof block, block), FALSE) << r.what;
        EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND) << r.what;
        EXPECT_EQ(block[0], 0xEE) << r.what << ": the block is not written";
    }

    BYTE block[64] = {};
    LPVOID value = kStale;
    UINT length = 1234;
    SetLastError(kSentinelError);
    EXPECT_EQ(VerQueryValueW(block, u"\\", &value, &length), FALSE);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(VerQueryValueW(nullptr, nullptr, nullptr, nullptr), FALSE);
    EXPECT_EQ(GetLastError(), kSentinelError);
}

TEST(Network, NoDriveIsConnectedAndNoConnectionCanBeMade) {
    WCHAR remote[64] = u"untouched";
    DWORD length = 64;
    NETRESOURCEW resource = {};
    resource.dwType = RESOURCETYPE_DISK;
    resource.lpLocalName = const_cast<LPWSTR>(u"Z:");
    resource.lpRemoteName = const_cast<LPWSTR>(u"\\\\server\\share");
    struct Row {
        const char* what;
        std::function<DWORD()> call;
        DWORD expected;
    };
    const Row rows[] = {
        {"WNetGetConnectionW", [&] { return WNetGetConnectionW(u"Z:", remote, &length); },
         ERROR_NOT_CONNECTED},
        {"WNetGetConnectionW without buffers",
         [] { return WNetGetConnectionW(nullptr, nullptr, nullptr); }, ERROR_NOT_CONNECTED},
        {"WNetAddConnection2W",
         [&] { return WNetAddConnection2W(&resource, u"secret", u"user", 0); }, ERROR_NO_NETWORK},
        {"WNetConnectionDialog", [] { return WNetConnectionDialog(nullptr, RESOURCETYPE_DISK); },
         ERROR_NO_NETWORK},
        {"WNetDisconnectDialog", [] { return WNetDisconnectDialog(nullptr, RESOURCETYPE_DISK); },
         ERROR_NO_NETWORK},
    };
    for (const Row& r : rows) {
        SetLastError(kSentinelError);
        EXPECT_EQ(r.call(), r.expected) << r.what;
        EXPECT_EQ(GetLastError(), kSentinelError) << r.what;
    }
    EXPECT_EQ(std::u16string(remote), u"untouched");
    EXPECT_EQ(length, 64u);
}

TEST(Network, ApiBufferFreeReleasesTheBuffer) {
    size_t before = qtest::LiveHeapBytes();
    void* buffer = std::malloc(300);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(NetApiBufferFree(buffer), NERR_Success);
    if constexpr (qtest::kExactHeap) {
        EXPECT_EQ(qtest::LiveHeapBytes(), before);
    }
    EXPECT_EQ(NetApiBufferFree(nullptr), NERR_Success);
}

} // namespace
