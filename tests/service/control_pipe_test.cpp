// The owner's pipe on Windows, the parts that are plain text: which names
// share a pipe, the pipe's access list, and whom a client believes.

#include "service/control_pipe.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

TEST(ControlPipe, OnePortOnePipeWhateverItsSpelling) {
    const struct {
        const char* device;
        const char* canonical;
    } rows[] = {
        {"COM3", "COM3"},           {"com3", "COM3"},           {"\\\\.\\COM3", "COM3"},
        {"//./com3", "COM3"},       {"\\\\.\\COM12", "COM12"},  {"COM256", "COM256"},
        {"COM03", "COM03"},         {"COMX", "COMX"},           {"\\\\.\\CNCA0", "CNCA0"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(canonicalPortName(r.device), r.canonical) << r.device;
        EXPECT_EQ(controlPipeName(r.device), controlPipeName(r.canonical)) << r.device;
    }
    EXPECT_NE(controlPipeName("COM3"), controlPipeName("COM4"));
    EXPECT_NE(controlPipeName("COM3"), controlPipeName("COM03")) << "a name Windows opens as another port";
}

TEST(ControlPipe, NameIsAPipePathOfPlainCharacters) {
    const std::string devices[] = {"COM3", "\\\\.\\COM12", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART-if00-port0",
                                   std::string(300, 'x'), "C:\\odd name?*|<>\"", ""};
    for (const std::string& device : devices) {
        const std::string name = controlPipeName(device);
        ASSERT_EQ(name.rfind("\\\\.\\pipe\\velmora-", 0), 0u) << name;
        const std::string rest = name.substr(std::string("\\\\.\\pipe\\").size());
        EXPECT_LE(name.size(), 80u) << name;
        for (char c : rest) {
            const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                               c == '.' || c == '_' || c == '-';
            EXPECT_TRUE(plain) << name;
        }
    }
    const std::string com3 = controlPipeName("COM3");
    const std::string prefix = "\\\\.\\pipe\\velmora-COM3-";
    EXPECT_EQ(com3.substr(0, prefix.size()), prefix);
    EXPECT_EQ(com3.size(), prefix.size() + 8) << "eight hex digits of the hash: " << com3;
}

TEST(ControlPipe, AccessListAdmitsTheOwnerSystemAdministratorsAndTheGroupOnly) {
    const std::string owner = "S-1-5-21-1-2-3-1001";
    EXPECT_EQ(pipeSecuritySddl(owner, std::nullopt), "D:P(A;;GA;;;S-1-5-21-1-2-3-1001)(A;;GA;;;SY)(A;;GA;;;BA)");
    EXPECT_EQ(pipeSecuritySddl(owner, std::string("S-1-5-21-1-2-3-1010")),
              "D:P(A;;GA;;;S-1-5-21-1-2-3-1001)(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;S-1-5-21-1-2-3-1010)");
    EXPECT_EQ(pipeSecuritySddl(owner, std::string()), pipeSecuritySddl(owner, std::nullopt));
}

TEST(ControlPipe, AClientBelievesOnlyItsOwnUserOrTheSystem) {
    const std::string me = "S-1-5-21-1-2-3-1001";
    const struct {
        const char* server;
        bool believed;
    } rows[] = {
        {"S-1-5-21-1-2-3-1001", true},
        {"S-1-5-18", true},
        {"S-1-5-21-1-2-3-1002", false},  // another user squatting on the name
        {"S-1-5-32-544", false},         // the Administrators group is no process user
        {"S-1-5-21-1-2-3-10011", false},
        {"", false},
    };
    for (const auto& r : rows) EXPECT_EQ(pipeServerAllowed(r.server, me), r.believed) << r.server;
}

}  // namespace
}  // namespace velmora
