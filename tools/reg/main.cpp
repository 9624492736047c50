// reg: reads and changes the installer's registry store from the command line.

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "tools/reg/RegTool.h"

namespace {
void Write(FILE* stream, const std::wstring& text) {
    std::string narrow = platform::WideToMultiByte(text);
    std::fwrite(narrow.data(), 1, narrow.size(), stream);
    std::fflush(stream);
}
}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(platform::MultiByteToWide(argv[i]));
    CRegTool tool([](const std::wstring& t) { Write(stdout, t); },
                  [](const std::wstring& t) { Write(stderr, t); },
                  [](const std::wstring& question) {
                      Write(stdout, question);
                      std::string answer;
                      if (!std::getline(std::cin, answer))
                          return false;
                      return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" ||
                             answer == "YES";
                  });
    return tool.Run(args);
}
