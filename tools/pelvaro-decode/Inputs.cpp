#include "tools/pelvaro-decode/Inputs.h"

#include <algorithm>
#include <cctype>

namespace pelvaro {

namespace {

bool IsBlank(const std::string& line) {
    return std::all_of(line.begin(), line.end(),
                       [](unsigned char c) { return std::isspace(c) != 0; });
}

bool IsResultHeader(std::string line) {
    std::transform(line.begin(), line.end(), line.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return line.find("+CM") != std::string::npos;
}

bool ReadLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

}  // namespace

std::vector<std::string> ReadInputs(std::istream& in) {
    std::vector<std::string> inputs;
    std::string line;
    while (ReadLine(in, line)) {
        if (IsBlank(line)) {
            continue;
        }
        std::string input = line;
        if (IsResultHeader(line) && ReadLine(in, line)) {
            input += "\r\n" + line;
        }
        inputs.push_back(std::move(input));
    }
    return inputs;
}

}  // namespace pelvaro
