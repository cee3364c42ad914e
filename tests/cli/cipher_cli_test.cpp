#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace qv::cli {
namespace {

struct Result {
    int code;
    std::string out;
    std::string err;
};

Result RunCli(std::vector<std::string> args) {
    args.insert(args.begin(), "quorvane-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int code = Run(static_cast<int>(argv.size()), argv.data(), Streams{out, err});
    return {code, out.str(), err.str()};
}

TEST(CipherCli, EnciphersAndDeciphersWithTheFieldKeyByDefault) {
    Result enc = RunCli({"encipher", "杭州"});
    EXPECT_EQ(enc.code, 0);
    EXPECT_EQ(enc.out, "EA244D2466098839\n");
    EXPECT_EQ(enc.err, "");

    Result dec = RunCli({"decipher", "ea244d2466098839"});
    EXPECT_EQ(dec.code, 0);
    EXPECT_EQ(dec.out, "杭州\n");

    EXPECT_EQ(RunCli({"encipher", ""}).out, "\n");
}

TEST(CipherCli, KeyOptionChangesTheCipher) {
    Result enc = RunCli({"encipher", "--key", "Pq4sWn8V", "13800138000"});
    EXPECT_EQ(enc.code, 0);
    EXPECT_NE(enc.out, "474EAF02952EF838FD5F539797A88475\n");
    std::string hex = enc.out.substr(0, enc.out.size() - 1);
    EXPECT_EQ(RunCli({"decipher", "--key", "Pq4sWn8V", hex}).out, "13800138000\n");
    // Only the first eight bytes of the key count.
    EXPECT_EQ(RunCli({"encipher", "--key", "Pq4sWn8Tzz", "13800138000"}).out,
              "474EAF02952EF838FD5F539797A88475\n");
}

TEST(CipherCli, BadInputIsTheErrorTextOnStderrAndExitOne) {
    Result dec = RunCli({"decipher", "EA244D24660988G9"});
    EXPECT_EQ(dec.code, 1);
    EXPECT_EQ(dec.out, "");
    EXPECT_EQ(dec.err, "Error: not a Hex String\n");

    EXPECT_EQ(RunCli({"decipher"}).code, 2);  // missing argument is a usage error
}

}  // namespace
}  // namespace qv::cli
