// The server table in the form of the document's "Contents" stream.
//
// Little-endian, no padding: the entry count (signed 32-bit), then per entry
// its 212-byte record (4 bytes unused, 4 bytes connected mark, 4 bytes
// unused, ProgID and CLSID text in 100-byte fields), each group as 0x01 and
// a group block, and 0x00.  A group block is the active flag, time bias,
// percent deadband, locale ID and update rate (32 bits each), the name in a
// 100-byte field, each item as 0x01 and its ID in a 100-byte field, and
// 0x00.  A 100-byte field holds the text and a NUL, or exactly 100 bytes of
// text and no NUL, in the ANSI code page; the model's texts are UTF-8 and
// converted on the way in and out.
#pragma once

#include "ClientRecords.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kServerRecordSize = 212;
constexpr size_t kGroupHeadSize = 120;

// Every entry of the table, connected or not.  An entry counts as connected
// while it has a server object or a connection node, and also while it still
// carries the mark of a file it was read from (its server could not be
// reached again): a later save keeps asking for that connection.
std::vector<uint8_t> EncodeContents(const ServerTable& table);

// Builds a new table from a stream: entries with their ProgID, CLSID text
// and connected mark, groups with their stored values and next client
// handle 0, items with value text "?", quality 0 and the changed mark set.
// All or nothing: a stream that ends early, carries a marker byte other than
// 0x00 or 0x01, a negative entry count or one that the remaining bytes
// cannot hold, or bytes after the last entry (our writer never leaves any,
// so they mean the stream is not one of ours) is refused with the reason in
// `why` (when given), and `table` is left as it was.
bool DecodeContents(const std::vector<uint8_t>& contents, ServerTable& table, std::string* why);
