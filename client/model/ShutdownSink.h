// The client's IOPCShutdown: a server that is going away asks its clients to
// let go, with a reason.  Advised on the server object where it offers the
// connection point; the connection then counts as lost (see
// ServerConnections::MarkLost).
#pragma once

#include "ComObject.h"
#include "OpcInterfaces.h"

#include <functional>
#include <string>

class CShutdownSink : public fw::ComObject<CShutdownSink, IOPCShutdown> {
public:
    using ShutdownCallback = std::function<void(const std::string& reason)>;
    explicit CShutdownSink(ShutdownCallback onShutdown) : onShutdown_(std::move(onShutdown)) {}

    // The connection it reports for is gone; later requests are dropped.
    void Detach() { onShutdown_ = nullptr; }

    STDMETHODIMP ShutdownRequest(LPCWSTR reason) override;

private:
    ~CShutdownSink() override = default;
    friend class fw::ComObject<CShutdownSink, IOPCShutdown>;

    ShutdownCallback onShutdown_;
};
