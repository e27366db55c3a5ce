// bench_client_model.exe RESULT_FILE: what the client's model does with one
// data-change stream of 10,000 items, as its sink receives it (CAdviseSink
// into ApplyDataChange), beside the bare decoding of the same stream's values
// into display texts.  The rows go to RESULT_FILE for opc_bench.exe.
#include "AdviseSink.h"
#include "ClientRecords.h"
#include "ComPtr.h"
#include "DataStream.h"
#include "GlobalMemory.h"
#include "ResultTable.h"
#include "Statistics.h"
#include "Stopwatch.h"
#include "ValueText.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace bench;

constexpr DWORD kItems = 10000;
constexpr int kRounds = 7;

// The stream a server sends for the items with client handles 1..n, values
// alternately VT_I4 and VT_R8 as the benchmark driver's tags.
fw::UniqueGlobal MakeStream(DWORD n) {
    const DWORD size = StreamBlockSize(StreamKind::DataTime, n);
    fw::UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
    if (!block) return block;
    void* data = GlobalLock(block.get());
    StreamWriter writer(data, size, StreamKind::DataTime);
    writer.WriteHeader(size, n, 1, 0);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (DWORD i = 0; i < n; ++i) {
        VARIANT value;
        std::memset(&value, 0, sizeof value);
        if (i % 2 == 0) {
            value.vt = VT_I4;
            value.lVal = static_cast<LONG>(i);
        } else {
            value.vt = VT_R8;
            value.dblVal = i * 0.5;
        }
        writer.WriteEntry(i, i + 1, OPC_QUALITY_GOOD, now, value);
    }
    GlobalUnlock(block.get());
    return block;
}

// Decodes every value of the stream into its text and nothing more.
size_t DecodeOnly(HGLOBAL stream) {
    const size_t size = GlobalSize(stream);
    const auto* block = static_cast<const BYTE*>(GlobalLock(stream));
    DWORD count;
    std::memcpy(&count, block + 4, sizeof count);
    size_t decoded = 0;
    for (DWORD k = 0; k < count; ++k) {
        DWORD offset;
        std::memcpy(&offset, block + kStreamHeaderSize + k * kStreamEntryWithTimeSize + 4, sizeof offset);
        if (offset < size && VariantToText(block + offset, size - offset)) ++decoded;
    }
    GlobalUnlock(stream);
    return decoded;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    ResultTable table;
    table.AddSection("Client model (OSTREL), in process");
    CGroup group;
    for (DWORD i = 0; i < kItems; ++i) {
        auto item = std::make_unique<CItem>();
        item->m_itemId = "Bench" + std::to_string(i);
        item->m_hClient = i + 1;
        group.m_items.push_back(std::move(item));
    }
    group.m_pSink.attach(new CAdviseSink);
    group.m_pSink->SetGroup(&group);

    fw::UniqueGlobal stream = MakeStream(kItems);
    if (!stream) return 3;
    FORMATETC format{static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATDATATIME")), nullptr,
                     DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    std::vector<double> applyMs, decodeMs;
    bool allDecoded = true;
    for (int round = 0; round < kRounds; ++round) {
        decodeMs.push_back(TimeMs([&] { allDecoded = allDecoded && DecodeOnly(stream.get()) == kItems; }));
        for (auto& item : group.m_items) item->m_changed = FALSE;
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = stream.get();
        applyMs.push_back(TimeMs([&] { group.m_pSink->OnDataChange(&format, &medium); }));
    }
    const bool allApplied = group.m_items.back()->m_changed && group.m_items.front()->m_changed;
    stream.reset();
    if (!allDecoded || !allApplied) {
        table.Add(FailureRow("stream of 10,000 items", E_FAIL));
    } else {
        const double apply = Median(applyMs);
        const double decode = Median(decodeMs);
        table.Add({"Data-change stream of 10,000 items: parse and update the model (CAdviseSink)",
                   FormatDuration(apply) + " (" + FormatPerItem(apply * 1000.0 / kItems) + ")",
                   "decoding the values only: " + FormatDuration(decode), FormatRatio(apply / decode), ""});
    }
    return table.Save(argv[1]) ? 0 : 1;
}
