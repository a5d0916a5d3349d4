#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "PortFile.h"
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
