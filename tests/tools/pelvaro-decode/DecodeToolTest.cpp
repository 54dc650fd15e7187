#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/TestPdu.h"

namespace pelvaro {
namespace {

const std::string kHello = test::kHelloPdu;
const std::string kEuroUmlaut = "06912143658709040B912143658709F1000040211231250000039BF21E";
const std::string kQuote = "06912143658709040B912143658709F100004021123125000006619178F31A03";
const std::string kHai = "06912143658709040B912143658709F100004021123125000004C84D3009";
const std::string kHeader = "Service Center No: 1234567890\nSender No: 12345678901\nText: ";
// Parts 1 and 2 of 2 in UCS2, "P1" and "P2", from +14155551212.
const std::string kPart1 = "00440B914151551512F20008622190013034000A05000307020100500031";
const std::string kPart2 = "00440B914151551512F20008622190013034000A05000307020200500032";
const std::string kJoined =
    R"({"summary": "\r\nSender No: +14155551212\r\nSent: 2026-12-09 10:03:43 +00:00\r\nText: )"
    R"(P1P2", "sender": "+14155551212", "center": "", "sent": "2026-12-09 10:03:43 +00:00", )"
    R"("discharged": null, "text": "P1P2", "coding": "ucs2", "class": null, "parts": 2})"
    "\n";
const std::string kNoPdu = "{\"error\": \"no PDU\"}\n";
const std::string kJson =
    R"({"summary": "Service Center No: 1234567890\r\nSender No: 12345678901\r\nText: )";

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A folder of this run's own, so that runs side by side, from other checkouts too, keep apart.
class RunFolder {
  public:
    RunFolder() {
        std::string name = testing::TempDir() + "pelvaro-decode-test.XXXXXX";
        if (!mkdtemp(name.data())) throw std::runtime_error("mkdtemp " + name);
        path_ = name + "/";
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    ~RunFolder() { std::filesystem::remove_all(path_); }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

Outcome Decode(const std::vector<std::string>& args, const std::string& input = "") {
    static const RunFolder folder;
    const std::string& dir = folder.Path();
    std::ofstream(dir + "decode-in", std::ios::binary) << input;
    std::string command = PELVARO_DECODE;
    for (const std::string& arg : args) {
        command += " " + arg;  // hex digits and options only
    }
    command += " <" + dir + "decode-in >" + dir + "decode-out 2>" + dir + "decode-err";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(dir + "decode-out"),
            Slurp(dir + "decode-err")};
}

int Lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(PelvaroDecode, PrintsSummariesAndExitsByOutcome) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string out;
        int errorLines;
    } cases[] = {
        {"bare argument", {kHello}, "", 0, kHeader + "Hello\n", 0},
        {"one of two without PDU", {"RING", kHello}, "", 1, kHeader + "Hello\n", 1},
        {"json UTF-8", {"--json", kEuroUmlaut}, "", 0, kJson + "\u20ac\u00e4\"}\n", 0},
        {"json escapes", {"--json", kQuote}, "", 0, kJson + "a\\\"b\\\\c\"}\n", 0},
        {"json no PDU", {"--json", "OK", kHai}, "", 1, kNoPdu + kJson + "HAI\"}\n", 1},
        {"stdin, a session with echoes and mixed line ends",
         {},
         "AT+CNMA\r\r\nOK\r\n+cmt: ,31\n" + kHello + "\n\n" + kHai + "\r",
         0,
         kHeader + "Hello\n\n" + kHeader + "HAI\n",
         0},
        {"stdin header alone", {}, "+CMT: ,31\r\n", 1, "", 1},
        {"full: parts joined across inputs",
         {"--full", "--json", kPart2, kPart1},
         "",
         0,
         kJoined,
         0},
        {"full: a part alone, its gap marked at the end",
         {"--full", kPart2, kHello},
         "",
         0,
         "Service Center No: +1234567890\nSender No: +12345678901\nSent: 2004-12-21 13:52:00 "
         "+00:00\nText: Hello\n\n\nSender No: +14155551212\nSent: 2026-12-09 10:03:43 +00:00\n"
         "Text: [\u2026]P2\n",
         0},
        {"empty stdin", {}, "", 2, "", 1},
        {"unknown option", {"--jsn", kHello}, "", 2, "", 1},
    };
    for (const auto& c : cases) {
        const Outcome run = Decode(c.args, c.input);
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.out, c.out) << c.name;
        EXPECT_EQ(Lines(run.err), c.errorLines) << c.name << ": " << run.err;
    }
}

TEST(PelvaroDecode, HelpExplainsInputsAndExitStatus) {
    const Outcome run = Decode({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("--json"), std::string::npos);
    EXPECT_NE(run.out.find("Exit status"), std::string::npos);
    EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace pelvaro
