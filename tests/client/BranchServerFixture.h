// branch_opc_server registered for one test and one server object of it,
// created by COM in the server's own process.  Everything the test got from
// the server must be released before TearDown: it checks that the server
// process ends with its last object.
#pragma once

#include "ComPtr.h"
#include "OpcInterfaces.h"
#include "Processes.h"
#include "Registration.h"
#include "WineTest.h"

#include <gtest/gtest.h>

#include <string>

inline std::string BranchServerCommand() {
    return "\"" + testsupport::BinPath("branch_opc_server.exe") + "\"";
}

class BranchServerFixture : public ::testing::Test {
protected:
    static constexpr const char* kProgId = "Velmora.BranchTest.1";
    static constexpr const char* kExeName = "branch_opc_server.exe";

    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.result()));
        ASSERT_EQ(S_OK, testsupport::RegisterOpcProxy());
        ASSERT_TRUE(testsupport::WaitForNoProcess(kExeName, 10000)) << "a server of an earlier test still runs";
        ASSERT_EQ(0, testsupport::RunToEnd(BranchServerCommand() + " /RegServer", 20000));
        CLSID clsid = {};
        ASSERT_EQ(S_OK, CLSIDFromProgID(L"Velmora.BranchTest.1", &clsid));
        ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, server_.put_void()));
    }
    void TearDown() override {
        const bool created = static_cast<bool>(server_);
        server_.reset();
        if (created) {
            EXPECT_TRUE(testsupport::WaitForNoProcess(kExeName, 10000)) << "the server outlived its objects";
        }
        EXPECT_EQ(0, testsupport::RunToEnd(BranchServerCommand() + " /UnregServer", 20000));
    }

    template <class I>
    fw::ComPtr<I> Query() const {
        fw::ComPtr<I> out;
        if (server_) server_.query(out);
        return out;
    }

    testsupport::ComScope com_;
    fw::ComPtr<IUnknown> server_;
};
