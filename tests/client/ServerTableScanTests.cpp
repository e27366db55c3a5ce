// The server table read from the test prefix's registry, with class keys the
// tests register and remove again.
#include "ComPtr.h"
#include "OpcConstants.h"
#include "RegistryKey.h"
#include "ServerTableScan.h"
#include "WineTest.h"

#include <comcat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A class key under HKEY_CLASSES_ROOT for the length of a test, with an
// "OPC" subkey when it stands for a server.
class ClassKey {
public:
    ClassKey(std::string name, bool opc) : name_(std::move(name)) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, name_.c_str());  // left over by an earlier run
        const std::string path = opc ? name_ + "\\OPC" : name_ + "\\CLSID";
        fw::UniqueRegKey key;
        created_ = fw::CreateRegKey(HKEY_CLASSES_ROOT, path.c_str(), KEY_WRITE, key) == ERROR_SUCCESS;
    }
    ~ClassKey() { RegDeleteTreeA(HKEY_CLASSES_ROOT, name_.c_str()); }
    ClassKey(const ClassKey&) = delete;
    ClassKey& operator=(const ClassKey&) = delete;
    bool created() const { return created_; }

private:
    std::string name_;
    bool created_ = false;
};

// Where a key name comes in the registry's own enumeration, read with the
// wide API and a buffer that takes any name; -1 when absent.
long EnumerationIndex(const std::string& name) {
    const std::wstring wanted(name.begin(), name.end());
    for (DWORD index = 0;; ++index) {
        wchar_t found[256];
        DWORD length = 256;
        if (RegEnumKeyExW(HKEY_CLASSES_ROOT, index, found, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return -1;
        if (_wcsicmp(found, wanted.c_str()) == 0) return static_cast<long>(index);
    }
}

long TableIndex(const ServerTable& table, const std::string& progId) {
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i]->m_progId == progId) return static_cast<long>(i);
    return -1;
}

TEST(ServerTableScan, KeepsOpcServersInReverseEnumerationOrderWhileTheirKeysExist) {
    {
        ClassKey a("VelmoraTest.A", true);
        ClassKey b("VelmoraTest.B", true);
        ClassKey plain("VelmoraTest.NoOpc", false);
        ASSERT_TRUE(a.created() && b.created() && plain.created());
        const long enumA = EnumerationIndex("VelmoraTest.A");
        const long enumB = EnumerationIndex("VelmoraTest.B");
        ASSERT_GE(enumA, 0);
        ASSERT_GE(enumB, 0);

        const ServerTable table = ScanServerTable();
        const long atA = TableIndex(table, "VelmoraTest.A");
        const long atB = TableIndex(table, "VelmoraTest.B");
        ASSERT_GE(atA, 0);
        ASSERT_GE(atB, 0);
        EXPECT_EQ(enumA < enumB, atB < atA) << "the table reverses the registry's order";
        EXPECT_EQ(-1, TableIndex(table, "VelmoraTest.NoOpc")) << "a class without OPC subkey is no server";
        for (const auto& entry : table) {
            SCOPED_TRACE(entry->m_progId);
            EXPECT_EQ("", entry->m_clsidText);
            EXPECT_EQ(nullptr, entry->m_pServer.get());
            EXPECT_EQ(0u, entry->m_node);
            EXPECT_FALSE(entry->m_connectedMark);
            EXPECT_TRUE(entry->m_groups.empty());
            EXPECT_LT(entry->m_progId.size(), kTextFieldSize);
            fw::UniqueRegKey key;
            EXPECT_EQ(ERROR_SUCCESS,
                      fw::OpenRegKey(HKEY_CLASSES_ROOT, (entry->m_progId + "\\OPC").c_str(), KEY_READ, key))
                << "every kept name is a key with an OPC subkey";
        }
    }
    EXPECT_EQ(-1, TableIndex(ScanServerTable(), "VelmoraTest.A")) << "removed keys leave the table";
}

TEST(ServerTableScan, ANameTooLongForTheBufferEndsTheScan) {
    // Three servers that enumerate in the order first, long, last.
    ClassKey first("VelmoraTestY.First", true);
    const std::string longName = "VelmoraTestZ" + std::string(100, 'L');
    ClassKey tooLong(longName, true);
    ClassKey last("VelmoraTestZZ.Last", true);
    ASSERT_TRUE(first.created() && tooLong.created() && last.created());
    const long enumFirst = EnumerationIndex("VelmoraTestY.First");
    const long enumLong = EnumerationIndex(longName);
    const long enumLast = EnumerationIndex("VelmoraTestZZ.Last");
    ASSERT_GE(enumFirst, 0);
    ASSERT_GE(enumLong, 0);
    ASSERT_GE(enumLast, 0);
    if (!(enumFirst < enumLong && enumLong < enumLast))
        GTEST_SKIP() << "this registry does not enumerate the test keys by name";

    const ServerTable table = ScanServerTable();
    EXPECT_GE(TableIndex(table, "VelmoraTestY.First"), 0);
    EXPECT_EQ(-1, TableIndex(table, longName));
    EXPECT_EQ(-1, TableIndex(table, "VelmoraTestZZ.Last")) << "the scan ends at the long name";
    EXPECT_EQ(0, TableIndex(table, "VelmoraTestY.First"))
        << "the last name kept before the scan ended comes first";
}

// A class that a server registered only in the OPC component categories,
// with its ProgID, for the length of a test.
class CategoryClass {
public:
    CategoryClass(const CLSID& clsid, const char* progId, const CATID& category)
        : clsid_(clsid), progId_(progId), category_(category) {
        wchar_t text[40];
        StringFromGUID2(clsid_, text, 40);
        char clsidText[40];
        WideCharToMultiByte(CP_ACP, 0, text, -1, clsidText, sizeof clsidText, nullptr, nullptr);
        clsidKey_ = std::string("CLSID\\") + clsidText;
        RegSetKeyValueA(HKEY_CLASSES_ROOT, (clsidKey_ + "\\ProgID").c_str(), nullptr, REG_SZ, progId,
                        static_cast<DWORD>(strlen(progId) + 1));
        RegSetKeyValueA(HKEY_CLASSES_ROOT, (progId_ + "\\CLSID").c_str(), nullptr, REG_SZ, clsidText,
                        static_cast<DWORD>(strlen(clsidText) + 1));
        if (SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_ICatRegister, register_.put_void())))
            registered_ = SUCCEEDED(register_->RegisterClassImplCategories(clsid_, 1, &category_));
    }
    ~CategoryClass() {
        if (registered_) register_->UnRegisterClassImplCategories(clsid_, 1, &category_);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, clsidKey_.c_str());
        RegDeleteTreeA(HKEY_CLASSES_ROOT, progId_.c_str());
    }
    CategoryClass(const CategoryClass&) = delete;
    CategoryClass& operator=(const CategoryClass&) = delete;
    bool registered() const { return registered_; }

private:
    CLSID clsid_;
    std::string progId_;
    CATID category_;
    std::string clsidKey_;
    fw::ComPtr<ICatRegister> register_;
    bool registered_ = false;
};

TEST(ServerTableScan, ServersOfTheOpcCategoriesFollowOnceEach) {
    const testsupport::ComScope com;
    // {7D0C2B0E-4E1A-4C55-8B7E-2B9C1F3A6D01}, {7D0C2B0E-...-02}
    const CLSID only = {0x7d0c2b0e, 0x4e1a, 0x4c55, {0x8b, 0x7e, 0x2b, 0x9c, 0x1f, 0x3a, 0x6d, 0x01}};
    const CLSID both = {0x7d0c2b0e, 0x4e1a, 0x4c55, {0x8b, 0x7e, 0x2b, 0x9c, 0x1f, 0x3a, 0x6d, 0x02}};
    {
        CategoryClass categoryOnly(only, "VelmoraTest.CategoryOnly", CATID_OPCDAServer20);
        CategoryClass listedTwice(both, "VelmoraTest.Both", CATID_OPCDAServer10);
        ClassKey opcKey("VelmoraTest.Both", true);
        ASSERT_TRUE(categoryOnly.registered() && listedTwice.registered() && opcKey.created());
        const ServerTable table = ScanServerTable();
        const long categoryIndex = TableIndex(table, "VelmoraTest.CategoryOnly");
        EXPECT_GE(categoryIndex, 0) << "a server registered only in the categories is listed";
        EXPECT_GT(categoryIndex, TableIndex(table, "VelmoraTest.Both")) << "after the registry's own";
        EXPECT_EQ(1, std::count_if(table.begin(), table.end(),
                                   [](const auto& entry) { return entry->m_progId == "VelmoraTest.Both"; }))
            << "a server found both ways is listed once";
    }
    EXPECT_LT(TableIndex(ScanServerTable(), "VelmoraTest.CategoryOnly"), 0);
}

}  // namespace
