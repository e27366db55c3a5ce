#include "DocumentCodec.h"

#include "TextEncoding.h"

#include <cstring>
#include <type_traits>

namespace {

constexpr uint8_t kMoreMarker = 0x01;
constexpr uint8_t kEndMarker = 0x00;
// The smallest entry: its record and the end of its (empty) group list.
constexpr size_t kSmallestEntrySize = kServerRecordSize + 1;

class Writer {
public:
    template <class T>
    void Put(T value) {
        static_assert(std::is_trivially_copyable<T>::value && sizeof(T) == 4, "32-bit fields only");
        uint8_t bytes[4];
        std::memcpy(bytes, &value, sizeof bytes);
        out_.insert(out_.end(), bytes, bytes + sizeof bytes);
    }
    void Byte(uint8_t value) { out_.push_back(value); }
    // The model's UTF-8 goes into the field in the ANSI code page; names are
    // checked to fit when they enter the model (CheckDocumentField).
    void Text(const std::string& text) {
        const std::string fitted = FitTextField(WideToAnsi(Utf8ToWide(text)));
        out_.insert(out_.end(), fitted.begin(), fitted.end());
        // NUL and zero filling; a text of the full 100 bytes has no NUL.
        out_.insert(out_.end(), kTextFieldSize - fitted.size(), 0);
    }
    std::vector<uint8_t> Take() { return std::move(out_); }

private:
    std::vector<uint8_t> out_;
};

class Reader {
public:
    Reader(const std::vector<uint8_t>& bytes, std::string& failure) : bytes_(bytes), failure_(failure) {}

    size_t Position() const { return pos_; }
    size_t Remaining() const { return bytes_.size() - pos_; }

    template <class T>
    bool Get(T& value, const char* what) {
        if (!Need(sizeof value, what)) return false;
        std::memcpy(&value, bytes_.data() + pos_, sizeof value);
        pos_ += sizeof value;
        return true;
    }
    bool Skip(size_t n, const char* what) {
        if (!Need(n, what)) return false;
        pos_ += n;
        return true;
    }
    bool Text(std::string& text, const char* what) {
        if (!Need(kTextFieldSize, what)) return false;
        const char* field = reinterpret_cast<const char*>(bytes_.data() + pos_);
        const void* nul = std::memchr(field, '\0', kTextFieldSize);
        text = AnsiToUtf8(std::string(field, nul ? static_cast<const char*>(nul) - field : kTextFieldSize));
        pos_ += kTextFieldSize;
        return true;
    }
    // One list marker: true in `more` for 0x01, false for 0x00.
    bool Marker(bool& more, const char* what) {
        uint8_t marker = 0;
        const size_t at = pos_;
        if (!Get(marker, what)) return false;
        if (marker != kMoreMarker && marker != kEndMarker)
            return Fail("byte " + std::to_string(at) + " (" + what + ") is " + std::to_string(marker) +
                        ", not 0 or 1");
        more = marker == kMoreMarker;
        return true;
    }
    bool Fail(const std::string& reason) {
        failure_ = reason;
        return false;
    }

private:
    bool Need(size_t n, const char* what) {
        if (Remaining() >= n) return true;
        return Fail(std::string("the stream ends at byte ") + std::to_string(bytes_.size()) + " inside " + what);
    }

    const std::vector<uint8_t>& bytes_;
    std::string& failure_;
    size_t pos_ = 0;
};

bool ReadItem(Reader& in, CGroup& group) {
    auto item = std::make_unique<CItem>();  // value "?", quality 0, changed: as a new item
    if (!in.Text(item->m_itemId, "an item ID")) return false;
    group.m_items.push_back(std::move(item));
    return true;
}

bool ReadGroup(Reader& in, CServer& entry) {
    auto group = std::make_unique<CGroup>();
    DWORD active = 0;
    if (!in.Get(active, "a group's active flag") || !in.Get(group->m_timeBias, "a group's time bias") ||
        !in.Get(group->m_percentDeadband, "a group's deadband") || !in.Get(group->m_localeId, "a group's locale") ||
        !in.Get(group->m_updateRate, "a group's update rate") || !in.Text(group->m_name, "a group name"))
        return false;
    group->m_active = static_cast<BOOL>(active);
    group->m_nextClientHandle = 0;
    for (;;) {
        bool more = false;
        if (!in.Marker(more, "an item marker")) return false;
        if (!more) break;
        if (!ReadItem(in, *group)) return false;
    }
    entry.m_groups.push_back(std::move(group));
    return true;
}

bool ReadEntry(Reader& in, ServerTable& table) {
    auto entry = std::make_unique<CServer>();
    DWORD node = 0;
    // The server object and first group fields meant something only in the
    // program that wrote the file.
    if (!in.Skip(4, "a server record") || !in.Get(node, "a server record") || !in.Skip(4, "a server record") ||
        !in.Text(entry->m_progId, "a server record") || !in.Text(entry->m_clsidText, "a server record"))
        return false;
    entry->m_connectedMark = node != 0;
    for (;;) {
        bool more = false;
        if (!in.Marker(more, "a group marker")) return false;
        if (!more) break;
        if (!ReadGroup(in, *entry)) return false;
    }
    table.push_back(std::move(entry));
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeContents(const ServerTable& table) {
    Writer out;
    out.Put(static_cast<int32_t>(table.size()));
    for (const auto& entry : table) {
        const bool connected = entry->m_pServer || entry->m_node || entry->m_connectedMark;
        out.Put(DWORD{0});
        out.Put(DWORD{connected ? 1u : 0u});
        out.Put(DWORD{0});
        out.Text(entry->m_progId);
        out.Text(entry->m_clsidText);
        for (const auto& group : entry->m_groups) {
            out.Byte(kMoreMarker);
            out.Put(static_cast<DWORD>(group->m_active));
            out.Put(static_cast<LONG>(group->m_timeBias));
            out.Put(static_cast<FLOAT>(group->m_percentDeadband));
            out.Put(static_cast<DWORD>(group->m_localeId));
            out.Put(static_cast<DWORD>(group->m_updateRate));
            out.Text(group->m_name);
            for (const auto& item : group->m_items) {
                out.Byte(kMoreMarker);
                out.Text(item->m_itemId);
            }
            out.Byte(kEndMarker);
        }
        out.Byte(kEndMarker);
    }
    return out.Take();
}

bool DecodeContents(const std::vector<uint8_t>& contents, ServerTable& table, std::string* why) {
    std::string failure;
    Reader in(contents, failure);
    ServerTable read;
    int32_t count = 0;
    bool ok = in.Get(count, "the entry count");
    if (ok && count < 0) ok = in.Fail("the entry count " + std::to_string(count) + " is negative");
    // Checked before anything is allocated for the entries: a count from a
    // damaged file must not reserve memory the file cannot fill.
    if (ok && static_cast<size_t>(count) > in.Remaining() / kSmallestEntrySize)
        ok = in.Fail("the entry count " + std::to_string(count) + " needs more than the " +
                     std::to_string(in.Remaining()) + " bytes that follow it");
    for (int32_t i = 0; ok && i < count; ++i) ok = ReadEntry(in, read);
    if (ok && in.Remaining() != 0)
        ok = in.Fail(std::to_string(in.Remaining()) + " bytes follow the last entry, at byte " +
                     std::to_string(in.Position()));
    if (!ok) {
        if (why) *why = failure;
        return false;
    }
    table = std::move(read);
    return true;
}
