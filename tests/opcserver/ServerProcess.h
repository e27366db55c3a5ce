// The life of a test server's process: it serves one class until the last
// object it handed out is released, and two minutes at the most, so that a
// test run that forgot it never leaves it behind.
#pragma once

#include "ClassFactory.h"

#include <windows.h>

#include <string>

namespace testserver {

// Held by every object the server hands out; the last one going ends the
// serving loop.  Outside a serving process (an object a test uses in its own
// process) it holds nothing.
class ProcessReference {
public:
    ProcessReference();
    ~ProcessReference();
    ProcessReference(const ProcessReference&) = delete;
    ProcessReference& operator=(const ProcessReference&) = delete;

private:
    bool held_;
};

struct ServedClass {
    CLSID clsid = GUID_NULL;
    fw::CreateFunction create;
    // A named event the starter waits on, set once the class object is
    // registered; empty for none.
    std::wstring readyEvent;
    // REGCLS_SINGLEUSE starts a process of its own for every new object.
    DWORD registration = REGCLS_MULTIPLEUSE;
};

// Exit codes of Serve.
enum ServeExit : int { kServed = 0, kComFailed = 3, kClassNotRegistered = 4 };

// Initialises COM on this thread, registers the class object and runs the
// message loop until the process reference count drops to zero.
int Serve(const ServedClass& served);

}  // namespace testserver
