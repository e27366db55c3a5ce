// Command lines as COM, the shell and installers start the programs.
#include "Application.h"

#include <gtest/gtest.h>

namespace {

using fw::CommandLineInfo;

TEST(CommandLine, NoArgumentsSetNothing) {
    const CommandLineInfo info = CommandLineInfo::Parse(L"VELMORA_OPC.exe");
    EXPECT_FALSE(info.embedding);
    EXPECT_FALSE(info.automation);
    EXPECT_FALSE(info.unregister);
    EXPECT_FALSE(info.regserver);
    EXPECT_EQ("", info.fileName);
}

TEST(CommandLine, EmbeddingWithDashOrSlashInAnyCase) {
    const wchar_t* const lines[] = {L"VELMORA_OPC.exe -Embedding", L"VELMORA_OPC.exe /embedding",
                                    L"VELMORA_OPC.exe /EMBEDDING"};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(testing::Message() << "command line #" << i);
        const CommandLineInfo info = CommandLineInfo::Parse(lines[i]);
        EXPECT_TRUE(info.embedding);
        EXPECT_FALSE(info.automation);
        EXPECT_FALSE(info.unregister);
        EXPECT_EQ("", info.fileName);
    }
}

TEST(CommandLine, Automation) {
    const CommandLineInfo info = CommandLineInfo::Parse(L"VELMORA_OPC.exe /Automation");
    EXPECT_TRUE(info.automation);
    EXPECT_FALSE(info.embedding);
}

TEST(CommandLine, BothUnregistrationSpellings) {
    EXPECT_TRUE(CommandLineInfo::Parse(L"VELMORA_OPC.exe -UnregServer").unregister);
    EXPECT_TRUE(CommandLineInfo::Parse(L"VELMORA_OPC.exe /Unregister").unregister);
    EXPECT_TRUE(CommandLineInfo::Parse(L"VELMORA_OPC.exe /unregserver").unregister);
    EXPECT_FALSE(CommandLineInfo::Parse(L"VELMORA_OPC.exe /Unreg").unregister);
}

TEST(CommandLine, RegServer) {
    const CommandLineInfo info = CommandLineInfo::Parse(L"VELMORA_OPC.exe /RegServer");
    EXPECT_TRUE(info.regserver);
    EXPECT_FALSE(info.unregister);
}

TEST(CommandLine, FirstPlainArgumentIsTheFileName) {
    const CommandLineInfo info = CommandLineInfo::Parse(L"VELMORA_OPC.exe plant.opc second.opc");
    EXPECT_EQ("plant.opc", info.fileName);
}

TEST(CommandLine, SwitchesAroundAFileName) {
    const CommandLineInfo info = CommandLineInfo::Parse(L"VELMORA_OPC.exe -Embedding \"C:\\My Data\\a b.opc\" /Automation");
    EXPECT_TRUE(info.embedding);
    EXPECT_TRUE(info.automation);
    EXPECT_EQ("C:\\My Data\\a b.opc", info.fileName);
}

TEST(CommandLine, QuotedProgramPathIsNotAnArgument) {
    const CommandLineInfo info =
        CommandLineInfo::Parse(L"\"C:\\Program Files\\Velmora\\VELMORA_OPC.exe\" -Embedding");
    EXPECT_TRUE(info.embedding);
    EXPECT_EQ("", info.fileName);
}

TEST(CommandLine, UnknownSwitchesAreIgnored) {
    const CommandLineInfo info = CommandLineInfo::Parse(L"VELMORA_OPC.exe /nologo -x file.opc");
    EXPECT_FALSE(info.embedding || info.automation || info.unregister || info.regserver);
    EXPECT_EQ("file.opc", info.fileName);
}

}  // namespace
