// The document file: a compound file whose root storage holds the stream
// "Contents" (the bytes of DocumentCodec).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

extern const wchar_t kContentsStreamName[];  // L"Contents"

// Writes a new compound file with `contents` as its "Contents" stream.  The
// file is made under a temporary name in the target's folder and put in the
// target's place only once it is complete, so a save that fails (a full
// disk, a folder we may not write) leaves the previous file as it was.
HRESULT WriteDocumentFile(const std::wstring& path, const std::vector<uint8_t>& contents);

// Reads the whole "Contents" stream of a compound file.  A file that is
// missing, is not a compound file or has no such stream fails with the
// storage's error; `contents` is written only on success.
HRESULT ReadDocumentFile(const std::wstring& path, std::vector<uint8_t>& contents);

// The largest stream read: far beyond any real server table, and small
// enough that a damaged size never asks for an absurd allocation.
constexpr uint64_t kMaxContentsSize = 64ull * 1024 * 1024;
