#include "DocumentFile.h"

#include "ComPtr.h"

#include <objbase.h>

#include <algorithm>
#include <new>

const wchar_t kContentsStreamName[] = L"Contents";

namespace {

// Chunks small enough for a ULONG count on every platform.
constexpr size_t kChunk = 1u << 20;

HRESULT LastErrorHr() {
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// The folder part of a path with its separator ("C:\\", "dir\\", "C:"),
// for the temporary file beside the target; "." for a bare file name.
std::wstring FolderOf(const std::wstring& path) {
    const size_t end = path.find_last_of(L"\\/:");
    return end == std::wstring::npos ? std::wstring(L".") : path.substr(0, end + 1);
}

HRESULT WriteCompoundFile(const wchar_t* path, const std::vector<uint8_t>& contents) {
    fw::ComPtr<IStorage> storage;
    HRESULT hr = StgCreateDocfile(path, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.put());
    if (FAILED(hr)) return hr;
    {
        fw::ComPtr<IStream> stream;
        hr = storage->CreateStream(kContentsStreamName, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                   stream.put());
        if (FAILED(hr)) return hr;
        size_t done = 0;
        while (done < contents.size()) {
            const ULONG part = static_cast<ULONG>(std::min(kChunk, contents.size() - done));
            ULONG written = 0;
            hr = stream->Write(contents.data() + done, part, &written);
            if (FAILED(hr)) return hr;
            if (written != part) return STG_E_MEDIUMFULL;
            done += part;
        }
    }
    return storage->Commit(STGC_DEFAULT);
}

}  // namespace

HRESULT WriteDocumentFile(const std::wstring& path, const std::vector<uint8_t>& contents) {
    if (path.empty()) return E_INVALIDARG;
    // Writing in place would fail on a read-only file; replacing it by a
    // rename must not get round that (Wine's rename would).
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    wchar_t temp[MAX_PATH];
    // Makes an empty file of a name nobody else uses, in the target's
    // folder so that the final rename stays on one volume.
    if (!GetTempFileNameW(FolderOf(path).c_str(), L"ost", 0, temp)) return LastErrorHr();
    HRESULT hr = WriteCompoundFile(temp, contents);
    if (SUCCEEDED(hr) && !MoveFileExW(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        hr = LastErrorHr();
    if (FAILED(hr)) DeleteFileW(temp);
    return hr;
}

HRESULT ReadDocumentFile(const std::wstring& path, std::vector<uint8_t>& contents) {
    if (path.empty()) return E_INVALIDARG;
    fw::ComPtr<IStorage> storage;
    HRESULT hr = StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.put());
    if (FAILED(hr)) return hr;
    fw::ComPtr<IStream> stream;
    hr = storage->OpenStream(kContentsStreamName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.put());
    if (FAILED(hr)) return hr;
    STATSTG stat{};
    hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    if (stat.cbSize.QuadPart > kMaxContentsSize) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);

    std::vector<uint8_t> read;
    try {
        read.resize(static_cast<size_t>(stat.cbSize.QuadPart));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    size_t done = 0;
    while (done < read.size()) {
        const ULONG part = static_cast<ULONG>(std::min(kChunk, read.size() - done));
        ULONG got = 0;
        hr = stream->Read(read.data() + done, part, &got);
        if (FAILED(hr)) return hr;
        if (got == 0) return STG_E_READFAULT;  // shorter than its own size says
        done += got;
    }
    contents = std::move(read);
    return S_OK;
}
