// The document as a real compound file in a scratch folder.
#include "ComPtr.h"
#include "DocumentCodec.h"
#include "DocumentFile.h"
#include "UniqueHandle.h"
#include "WineTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The names of the files in a folder.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return names;
}

ServerTable OneConnectedServer() {
    ServerTable table;
    table.push_back(std::make_unique<CServer>());
    table[0]->m_progId = "Velmora.VelmoraOPC.1";
    table[0]->m_node = 5;
    auto group = std::make_unique<CGroup>();
    group->m_name = "Group1";
    group->m_updateRate = 250;
    for (const char* id : {"Random.Int2", "Random.String"}) {
        group->m_items.push_back(std::make_unique<CItem>());
        group->m_items.back()->m_itemId = id;
    }
    table[0]->m_groups.push_back(std::move(group));
    table.push_back(std::make_unique<CServer>());
    table[1]->m_progId = "Other.1";
    return table;
}

class DocumentFile : public testing::Test {
protected:
    testsupport::ComScope com_;
    testsupport::ScratchDir scratch_;
    std::wstring Path(const char* name) const { return Wide(scratch_.path() + name); }
};

// The root storage holds one stream, "Contents", with the bytes given; no
// temporary file stays behind.
TEST_F(DocumentFile, SavedDocumentsOpenAgain) {
    const Bytes contents = EncodeContents(OneConnectedServer());
    const std::wstring path = Path("plant.ost");
    ASSERT_EQ(S_OK, WriteDocumentFile(path, contents));
    Bytes read;
    ASSERT_EQ(S_OK, ReadDocumentFile(path, read));
    EXPECT_EQ(contents, read);
    ServerTable table;
    std::string why;
    ASSERT_TRUE(DecodeContents(read, table, &why)) << why;
    ASSERT_EQ(2u, table.size());
    EXPECT_TRUE(table[0]->m_connectedMark);
    ASSERT_EQ(1u, table[0]->m_groups.size());
    EXPECT_EQ(2u, table[0]->m_groups[0]->m_items.size());
    EXPECT_EQ(std::vector<std::string>({"plant.ost"}), FilesIn(scratch_.path()));

    ASSERT_EQ(S_OK, StgIsStorageFile(path.c_str()));
    fw::ComPtr<IStorage> storage;
    ASSERT_EQ(S_OK, StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                   storage.put()));
    fw::ComPtr<IEnumSTATSTG> elements;
    ASSERT_EQ(S_OK, storage->EnumElements(0, nullptr, 0, elements.put()));
    std::vector<std::wstring> names;
    STATSTG stat;
    while (elements->Next(1, &stat, nullptr) == S_OK) {
        names.push_back(stat.pwcsName);
        EXPECT_EQ(static_cast<DWORD>(STGTY_STREAM), stat.type);
        EXPECT_EQ(contents.size(), stat.cbSize.QuadPart);
        CoTaskMemFree(stat.pwcsName);
    }
    EXPECT_EQ(std::vector<std::wstring>({L"Contents"}), names);
    fw::ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.put()));
    Bytes direct(contents.size() + 10);
    ULONG got = 0;
    ASSERT_EQ(S_OK, stream->Read(direct.data(), static_cast<ULONG>(direct.size()), &got));
    direct.resize(got);
    EXPECT_EQ(contents, direct);
}

// Saving replaces an older document; a failed save keeps it and leaves no
// temporary file.
TEST_F(DocumentFile, SavingReplacesAnOlderDocumentUnlessItFails) {
    const std::wstring path = Path("kept.ost");
    ASSERT_EQ(S_OK, WriteDocumentFile(path, EncodeContents(OneConnectedServer())));
    const Bytes original = EncodeContents(ServerTable());  // shorter
    ASSERT_EQ(S_OK, WriteDocumentFile(path, original));
    Bytes read;
    ASSERT_EQ(S_OK, ReadDocumentFile(path, read));
    EXPECT_EQ(original, read);

    // A folder of the target's name cannot be replaced by the new file.
    const std::wstring blocked = Path("blocked");
    ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
    EXPECT_TRUE(FAILED(WriteDocumentFile(blocked, EncodeContents(ServerTable()))));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesW(blocked.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryW(blocked.c_str());
    // A read-only document stays as it was.
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const HRESULT hr = WriteDocumentFile(path, EncodeContents(OneConnectedServer()));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(FAILED(hr));
    ASSERT_EQ(S_OK, ReadDocumentFile(path, read));
    EXPECT_EQ(original, read);
    // A folder that does not exist.
    EXPECT_TRUE(FAILED(WriteDocumentFile(Path("missing\\doc.ost"), original)));
    EXPECT_EQ(std::vector<std::string>({"kept.ost"}), FilesIn(scratch_.path()));
}

TEST_F(DocumentFile, FilesThatAreNotDocumentsFailToOpen) {
    const Bytes untouched = {1, 2, 3};
    Bytes read = untouched;
    scratch_.WriteFile("plain.txt", std::string(2048, 'x'));
    scratch_.WriteFile("empty.ost", "");
    for (const char* name : {"plain.txt", "empty.ost", "absent.ost", ""})
        EXPECT_TRUE(FAILED(ReadDocumentFile(name[0] ? Path(name) : L"", read))) << name;
    EXPECT_EQ(untouched, read);

    // A compound file whose stream has another name.
    const std::wstring other = Path("other.ost");
    {
        fw::ComPtr<IStorage> storage;
        ASSERT_EQ(S_OK, StgCreateDocfile(other.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                         storage.put()));
        fw::ComPtr<IStream> stream;
        ASSERT_EQ(S_OK, storage->CreateStream(L"Something", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                              stream.put()));
        const Bytes contents = EncodeContents(ServerTable());
        ASSERT_EQ(S_OK, stream->Write(contents.data(), static_cast<ULONG>(contents.size()), nullptr));
    }
    EXPECT_EQ(STG_E_FILENOTFOUND, ReadDocumentFile(other, read));
    EXPECT_EQ(untouched, read);

    // A saved document cut to the compound file's 512-byte header.
    const std::wstring cut = Path("cut.ost");
    ASSERT_EQ(S_OK, WriteDocumentFile(cut, EncodeContents(OneConnectedServer())));
    {
        const HANDLE opened = CreateFileW(cut.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, opened);
        // Closed at the end of this block: the file is opened unshared, and
        // the read below must find it free.
        const fw::UniqueHandle file(opened);
        SetFilePointer(file.get(), 512, nullptr, FILE_BEGIN);
        SetEndOfFile(file.get());
    }
    ServerTable table;
    EXPECT_FALSE(SUCCEEDED(ReadDocumentFile(cut, read)) && DecodeContents(read, table, nullptr));
}

}  // namespace
