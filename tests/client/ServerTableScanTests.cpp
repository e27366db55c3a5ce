// The server table read from the test prefix's registry, with class keys the
// tests register and remove again.
#include "RegistryKey.h"
#include "ServerTableScan.h"

#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace
