// What clients do to the server while a write waits on the driver's box, and
// when they go away: calls that would re-enter the driver, a writer killed,
// its document closed under it, an object handed to another process whose
// creator then ends.
#include "FaultTest.h"

#include <fstream>
#include <iterator>

namespace {

using fw::ComPtr;
using namespace fault;

using WriteInProgress = ServerTest;
using HandOver = ServerTest;

TEST_F(WriteInProgress, NestedDriverCallsFailBusyWhileCacheReadsAndUnadviseWork) {
    RunBounded(kBoundMs, [] {
        ComPtr<IOPCServer> server;
        ASSERT_EQ(S_OK, CreateServer(server));
        ComPtr<IUnknown> group;
        std::vector<OPCHANDLE> handles;
        std::vector<VARTYPE> types;
        ASSERT_EQ(S_OK, AddSimulationGroup(server.get(), L"Tags", group, nullptr, &handles, &types));
        ComPtr<IOPCSyncIO> io;
        ASSERT_EQ(S_OK, group.query(io));
        ASSERT_EQ(S_OK, SyncRead(io.get(), OPC_DS_DEVICE, handles)) << "fills the cache";
        const ComPtr<CallbackSink> sink = CallbackSink::Create();
        DWORD connection = 0;
        ASSERT_EQ(S_OK, Advise(group.get(), sink.get(), &connection));
        ASSERT_TRUE(sink->WaitForEntered(1, 5000));

        Timed write;
        MtaThread writer([&] { write = Time([&] { return WriteTyped(io.get(), {handles[1]}, {types[1]}, 10); }); });
        const CloseWriteBoxesOnExit closeBoxes;
        ASSERT_TRUE(WaitForWriteBox(10000));

        // The subscription's next update now waits for the driver the write
        // holds: ending it must not wait for that update.
        Sleep(2 * kRate);
        ComPtr<IDataObject> data;
        ASSERT_EQ(S_OK, group.query(data));
        const Timed unadvise = Time([&] { return data->DUnadvise(connection); });
        EXPECT_EQ(S_OK, unadvise.hr);
        EXPECT_LT(unadvise.ms, kPromptMs);
        const size_t seen = sink->Entered();

        // The server's thread waits in the box holding the driver: whatever
        // needs the driver now is turned away instead of entering it again.
        const HRESULT busy = HRESULT_FROM_WIN32(ERROR_BUSY);
        const Timed read = Time([&] { return SyncRead(io.get(), OPC_DS_DEVICE, {handles[0]}); });
        EXPECT_EQ(busy, read.hr);
        EXPECT_LT(read.ms, kPromptMs);
        std::vector<HRESULT> errors;
        const Timed nested = Time([&] { return WriteTyped(io.get(), {handles[2]}, {types[2]}, 20, &errors); });
        EXPECT_EQ(S_FALSE, nested.hr);
        EXPECT_LT(nested.ms, kPromptMs);
        EXPECT_EQ(std::vector<HRESULT>{busy}, errors);
        EXPECT_EQ(S_OK, SyncRead(io.get(), OPC_DS_CACHE, handles, &errors)) << "the cache needs no driver";
        EXPECT_EQ(std::vector<HRESULT>(handles.size(), S_OK), errors);

        ASSERT_TRUE(testsupport::WaitForMessageBox("Write", 5000).has_value());
        writer.Join();
        EXPECT_EQ(S_OK, write.hr);
        EXPECT_TRUE(testsupport::NoMessageBoxFor("Write", 500)) << "the refused write reached the driver after all";
        EXPECT_EQ(S_OK, SyncRead(io.get(), OPC_DS_DEVICE, handles)) << "the driver serves again";
        // The update that waited may still land; no new one starts.
        Sleep(5 * kRate);
        EXPECT_LE(sink->Entered(), seen + 1);
    });
}

TEST_F(WriteInProgress, WriterKilledUnderItsBoxIsClosedOnceTheBoxIsGone) {
    RunBounded(kBoundMs, [] {
        ComPtr<IOPCServer> own;  // keeps the server running
        ASSERT_EQ(S_OK, CreateServer(own));
        const size_t documents = ServerDocumentTitles().size();
        ClientProcess writer;
        ASSERT_TRUE(writer.Start("write", 20000)) << "the writing client did not get going";
        EXPECT_EQ(documents + 1, ServerDocumentTitles().size());
        ASSERT_TRUE(WaitForWriteBox(10000)) << "its write shows no box";
        const CloseWriteBoxesOnExit closeBoxes;
        ASSERT_TRUE(writer.Kill());
        Sleep(1000);  // the server learns of the death while its box is up

        ASSERT_TRUE(testsupport::WaitForMessageBox("Write", 5000).has_value()) << "the box can still be closed";
        EXPECT_TRUE(testsupport::PumpUntil([&] { return ServerDocumentTitles().size() == documents; }, 10000))
            << "the dead client's document is closed";
        EXPECT_EQ(S_OK, Status(own.get()));
        ComPtr<IOPCServer> fresh;
        const Timed created = Time([&] { return CreateServer(fresh); });
        EXPECT_EQ(S_OK, created.hr);
        EXPECT_LT(created.ms, kCreateMs);
        if (fresh) {
            EXPECT_EQ(S_OK, Status(fresh.get()));
        }
    });
}

TEST_F(WriteInProgress, ClosingTheDocumentStopsTheWriteAfterTheCurrentValue) {
    RunBounded(kBoundMs, [] {
        ComPtr<IOPCServer> closed, other;
        ASSERT_EQ(S_OK, CreateServer(closed));
        const std::vector<std::string> titles = ServerDocumentTitles();
        ASSERT_EQ(1u, titles.size());
        const std::string title = titles[0];  // the document of `closed`
        ASSERT_EQ(S_OK, CreateServer(other));  // keeps the server running
        ComPtr<IUnknown> group;
        std::vector<OPCHANDLE> handles;
        std::vector<VARTYPE> types;
        ASSERT_EQ(S_OK, AddSimulationGroup(closed.get(), L"Tags", group, nullptr, &handles, &types));
        ComPtr<IOPCSyncIO> io;
        ASSERT_EQ(S_OK, group.query(io));

        Timed write;
        std::vector<HRESULT> errors;
        MtaThread writer([&] { write = Time([&] { return WriteTyped(io.get(), handles, types, 1, &errors); }); });
        const CloseWriteBoxesOnExit closeBoxes;
        ASSERT_TRUE(WaitForWriteBox(10000)) << "no box for the first value";
        const HWND document = ServerDocumentWindow(title);
        ASSERT_NE(nullptr, document);
        // Sent rather than posted, so that the close has been taken in
        // before the box goes; not waited on for long, since the close may
        // hold on until the write has returned.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(document, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &ignored);

        ASSERT_TRUE(testsupport::WaitForMessageBox("Write", 5000).has_value());
        ASSERT_TRUE(testsupport::NoMessageBoxFor("Write", 1000)) << "a further value reached the driver";
        writer.Join();
        EXPECT_EQ(S_FALSE, write.hr);
        const HRESULT cut = RPC_E_DISCONNECTED;
        EXPECT_EQ((std::vector<HRESULT>{S_OK, cut, cut, cut, cut}), errors)
            << "the first value was written, the others not reached";

        EXPECT_TRUE(testsupport::PumpUntil([&] { return !ServerDocumentWindow(title); }, 5000))
            << "the document closes once the write has returned";
        EXPECT_TRUE(FAILED(Status(closed.get()))) << "its client is cut off";
        EXPECT_EQ(S_OK, Status(other.get()));
    });
}

// An interface pointer from the bytes CoMarshalInterface wrote to a file.
HRESULT UnmarshalFromFile(const std::string& path, ComPtr<IOPCServer>& server) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) return E_FAIL;
    ComPtr<IStream> stream;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (FAILED(hr)) return hr;
    hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    if (FAILED(hr)) return hr;
    const LARGE_INTEGER start{};
    hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    return CoUnmarshalInterface(stream.get(), IID_IOPCServer, server.put_void());
}

TEST_F(HandOver, ObjectOfAnEndedCreatorFailsPromptly) {
    RunBounded(kBoundMs, [] {
        const testsupport::ScratchDir scratch;
        const std::string file = scratch.path() + "server.objref";
        ClientProcess creator;
        ASSERT_TRUE(creator.Start("marshal \"" + file + "\"", 20000)) << "the creating client did not get going";
        ASSERT_EQ(0, creator.WaitForExit(10000)) << "the creator hands its object over and ends";
        ComPtr<IOPCServer> handed;
        ASSERT_EQ(S_OK, UnmarshalFromFile(file, handed));

        // The server watches the process that created the object: once that
        // has gone, the object is closed, whoever else holds it.
        EXPECT_TRUE(testsupport::PumpUntil([&] { return FAILED(Status(handed.get())); }, 10000))
            << "the object outlived its creator";
        ComPtr<IUnknown> group;
        LPWSTR text = nullptr;
        const Timed calls[] = {
            Time([&] { return Status(handed.get()); }),
            Time([&] { return AddGroup(handed.get(), L"Late", IID_IUnknown, group); }),
            Time([&] { return handed->GetErrorString(E_FAIL, 0, &text); }),
            Time([&] { return handed->RemoveGroup(1, TRUE); }),
        };
        const fw::TaskMemPtr<wchar_t> textOwner(text);
        for (size_t i = 0; i < std::size(calls); ++i) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(FAILED(calls[i].hr)) << std::hex << calls[i].hr;
            EXPECT_LT(calls[i].ms, kPromptMs);
        }

        ComPtr<IOPCServer> fresh;
        ASSERT_EQ(S_OK, CreateServer(fresh));
        EXPECT_EQ(S_OK, Status(fresh.get()));
    });
}

}  // namespace
