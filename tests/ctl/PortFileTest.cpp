#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "PortFile.h"
#include "PortHolders.h"
#include "TempHome.h"

using namespace Cuebridge::Ctl;

TEST(PortFile, PathIsUnderTheServiceDataFolder) {
    EXPECT_EQ(PortFilePath("/home/ana"),
              "/home/ana/Library/Application "
              "Support/Ostrel/OstrelPluginService/PluginData/AfterEffects/socket.port");
}

TEST(PortFile, OnlyAnAbsoluteHomeNamesAPortFile) {
    TempHome home;  // restores HOME afterwards
    for (const char* relative : {"", ".", "home/ana"}) {
        setenv("HOME", relative, 1);
        EXPECT_EQ(DefaultPortFilePath(), std::nullopt) << "'" << relative << "'";
    }
    setenv("HOME", "/home/ana", 1);
    EXPECT_EQ(DefaultPortFilePath(), PortFilePath("/home/ana"));
}

TEST(PortFile, ReadsOnlyAPlainPortNumber) {
    struct Case {
        std::string content;
        PortFileStatus status;
        int port;
    };
    const Case cases[] = {
        {"49152", PortFileStatus::Ok, 49152},     {"1", PortFileStatus::Ok, 1},
        {"65535", PortFileStatus::Ok, 65535},     {"4915\n", PortFileStatus::Ok, 4915},
        {"", PortFileStatus::Invalid, 0},         {"0", PortFileStatus::Invalid, 0},
        {"65536", PortFileStatus::Invalid, 0},    {"123456", PortFileStatus::Invalid, 0},
        {" 4915", PortFileStatus::Invalid, 0},    {"4915 ", PortFileStatus::Invalid, 0},
        {"-4915", PortFileStatus::Invalid, 0},    {"49x52", PortFileStatus::Invalid, 0},
        {"4915\n\n", PortFileStatus::Invalid, 0},
    };
    TempHome home;
    const std::string path = home.Path() / "socket.port";
    for (const Case& c : cases) {
        std::ofstream(path, std::ios::trunc | std::ios::binary) << c.content;
        PortFileContent read = ReadPortFile(path);
        EXPECT_EQ(read.status, c.status) << "content '" << c.content << "'";
        EXPECT_EQ(read.port, c.port) << "content '" << c.content << "'";
    }
    std::filesystem::remove(path);
    EXPECT_EQ(ReadPortFile(path).status, PortFileStatus::Missing);
}

TEST(PortHolders, AnySocketWhoseLocalPortMatchesHoldsIt) {
    const std::string heading =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n";
    struct Case {
        std::string rows;
        int port;
        bool held;
    };
    const Case cases[] = {
        // A listener (0A), a connection (01) and one closing (06), IPv4 and IPv6.
        {"   0: 0100007F:B0F1 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0\n", 0xB0F1,
         true},
        {"   1: 0100007F:1F90 0100007F:D2A4 01 00000000:00000000 00:00000000 00000000 0\n", 0x1F90,
         true},
        {"   2: 0100007F:1f90 0100007F:D2A4 06 00000000:00000000 00:00000000 00000000 0\n", 0x1F90,
         true},
        {"   0: 00000000000000000000000001000000:C350 00000000000000000000000000000000:0000 0A "
         "00000000:00000000 00:00000000 00000000 0\n",
         50000, true},
        // The port only as the remote end of another socket, or no row at all.
        {"   0: 0100007F:D2A4 0100007F:1F90 01 00000000:00000000 00:00000000 00000000 0\n", 0x1F90,
         false},
        {"", 0x1F90, false},
        {"   0: garbage\n   1: 0100007F:1F9 x\n", 0x1F9, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TcpTableHoldsPort(heading + c.rows, c.port), c.held) << c.rows;
        // The heading is never a row, whatever it holds.
        EXPECT_FALSE(TcpTableHoldsPort(c.rows.substr(0, c.rows.find('\n') + 1), c.port));
    }
}
