// Command lines as COM, the shell and installers start the programs.
#include "Application.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, SwitchesInAnySpellingAndTheFirstPlainArgument) {
    const struct {
        const wchar_t* line;
        bool embedding, automation, unregister, regserver;
        const char* fileName;
    } cases[] = {
        {L"VELMORA_OPC.exe", false, false, false, false, ""},
        {L"VELMORA_OPC.exe -Embedding", true, false, false, false, ""},
        {L"VELMORA_OPC.exe /embedding", true, false, false, false, ""},
        {L"VELMORA_OPC.exe /EMBEDDING", true, false, false, false, ""},
        {L"VELMORA_OPC.exe /Automation", false, true, false, false, ""},
        {L"VELMORA_OPC.exe -UnregServer", false, false, true, false, ""},
        {L"VELMORA_OPC.exe /Unregister", false, false, true, false, ""},
        {L"VELMORA_OPC.exe /unregserver", false, false, true, false, ""},
        {L"VELMORA_OPC.exe /Unreg", false, false, false, false, ""},
        {L"VELMORA_OPC.exe /RegServer", false, false, false, true, ""},
        {L"VELMORA_OPC.exe plant.opc second.opc", false, false, false, false, "plant.opc"},
        {L"VELMORA_OPC.exe -Embedding \"C:\\My Data\\a b.opc\" /Automation", true, true, false, false,
         "C:\\My Data\\a b.opc"},
        // A quoted program path is not an argument.
        {L"\"C:\\Program Files\\Velmora\\VELMORA_OPC.exe\" -Embedding", true, false, false, false, ""},
        // Unknown switches are ignored.
        {L"VELMORA_OPC.exe /nologo -x file.opc", false, false, false, false, "file.opc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.line);
        const fw::CommandLineInfo info = fw::CommandLineInfo::Parse(c.line);
        EXPECT_EQ(c.embedding, info.embedding);
        EXPECT_EQ(c.automation, info.automation);
        EXPECT_EQ(c.unregister, info.unregister);
        EXPECT_EQ(c.regserver, info.regserver);
        EXPECT_EQ(c.fileName, info.fileName);
    }
}

}  // namespace
