// The client's model: the server table, the groups made on connected
// servers and the items added to them.  Records only; the operations that
// talk to servers are in ServerConnections, the file form in DocumentCodec.
#pragma once

#include "ComPtr.h"
#include "OpcInterfaces.h"

#include <windows.h>
#include <ocidl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CAdviseSink;
class CDataCallback;
class CShutdownSink;
class MtaServer;

// A tree node of the object tree; 0 = none.  Kept as a number so that the
// model does not depend on the tree control.
using NodeHandle = std::uintptr_t;

// Texts of the model are UTF-8; the document file keeps its names (ProgID,
// CLSID, group name, item ID) in 100-byte fields of the ANSI code page.
constexpr size_t kTextFieldSize = 100;

class CItem {
public:
    std::string m_itemId;            // as passed to AddItems; always fits a document field
    std::string m_valueText = "?";   // the last value as display text, whole
    WORD m_quality = 0;              // the last quality received
    WORD m_shownQuality = 0;         // the quality the list shows
    OPCHANDLE m_hClient = 0;
    OPCHANDLE m_hServer = 0;         // 0 after a failed re-add
    BOOL m_changed = TRUE;           // a value the list has not shown yet
    VARTYPE m_canonicalType = VT_EMPTY;
};

class CGroup {
public:
    // Made and destroyed where the sink's class is known: the sink reference
    // needs it.
    CGroup();
    ~CGroup();  // tells the sink the group is gone
    CGroup(const CGroup&) = delete;
    CGroup& operator=(const CGroup&) = delete;

    std::string m_name;
    NodeHandle m_node = 0;
    fw::ComPtr<IOPCItemMgt> m_pItemMgt;  // null once the group has left the server
    OPCHANDLE m_hServerGroup = 0;
    DWORD m_nextClientHandle = 0;
    // The group's data-change sink.  A counted reference: the server may
    // release its own at any time, the group must still be able to tell the
    // sink that the group is gone.  Declared after m_pItemMgt: it is let go
    // of first.
    fw::ComPtr<CAdviseSink> m_pSink;
    // Or, for a group without IDataObject, its OPC DA 2.0 data callback:
    // the sink, the group's connection point and the cookie it gave.
    fw::ComPtr<CDataCallback> m_pCallback;
    fw::ComPtr<IConnectionPoint> m_callbackPoint;
    DWORD m_callbackCookie = 0;
    std::vector<std::unique_ptr<CItem>> m_items;  // in the order they were added
    BOOL m_active = TRUE;
    LONG m_timeBias = 0;
    FLOAT m_percentDeadband = 0.0f;
    DWORD m_localeId = 0;
    DWORD m_updateRate = 0;             // the rate the server granted
    DWORD m_adviseConnection = 0;
    // Asked for in Add Group; not kept in the document file.
    bool m_preferDataCallback = false;
};

class CServer {
public:
    CServer();
    ~CServer();  // tells the shutdown sink the connection is gone
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    fw::ComPtr<IUnknown> m_pServer;     // held while connected
    // The same object for calls made on other threads (TimeLimitedCall),
    // made when connected; null when that failed.
    std::shared_ptr<MtaServer> m_mta;
    NodeHandle m_node = 0;              // connection node while connected
    // In creation order.  Declared after the server object, so the groups
    // go before it.
    std::vector<std::unique_ptr<CGroup>> m_groups;
    std::string m_progId;
    std::string m_clsidText;            // empty until first connected
    // Read from a file: the entry was connected when the file was written.
    bool m_connectedMark = false;
    // The server stopped answering (it died or was disconnected): its
    // groups stay in the model, and nothing asks the server again.
    bool m_lost = false;
    // The server's IOPCShutdown connection, where it offers one.
    fw::ComPtr<CShutdownSink> m_pShutdownSink;
    fw::ComPtr<IConnectionPoint> m_shutdownPoint;
    DWORD m_shutdownCookie = 0;
};

using ServerTable = std::vector<std::unique_ptr<CServer>>;

// Cuts an ANSI text to what a field of `fieldSize` bytes holds (a 100-byte
// field of the document file by default), never inside a double-byte
// character of the ANSI code page.
std::string FitTextField(const std::string& ansiText, size_t fieldSize = kTextFieldSize);

// Whether a UTF-8 name can be kept in a document field as it is: the ANSI
// code page must hold each of its characters, in at most kTextFieldSize
// bytes.  A name that does not fit would be saved changed and name another
// item, or none, when the document is opened again.
enum class FieldFit { Fits, TooLong, NotAnsi };
struct FieldCheck {
    FieldFit fit = FieldFit::Fits;
    size_t ansiBytes = 0;  // the length of its ANSI form, when it has one
};
FieldCheck CheckDocumentField(const std::string& text);

// The start of a UTF-8 text for a message, at most `maxBytes` long and cut
// between characters, with "..." when it was cut.
std::string TextForMessage(const std::string& text, size_t maxBytes);
