#pragma once

// Reads what the program's TAVO_UI_DUMP file says its window shows.

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

struct Control
{
    bool shown = false;
    int x = 0, y = 0, width = 0, height = 0;
    double value = 0;
    std::string text;
};

struct Dump
{
    int x = 0, y = 0;
    std::map<std::string, Control> controls;  // the first of each name
};

inline Dump ReadDump(const std::string& path)
{
    Dump dump;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            f.push_back(field);
        if (f.size() >= 3 && f[0] == "window") {
            dump.x = std::stoi(f[1]);
            dump.y = std::stoi(f[2]);
        } else if (f.size() >= 9 && !dump.controls.count(f[0])) {
            std::string text;
            for (size_t i = 0; f.size() > 9 && i < f[9].size(); ++i)
                text +=
                    f[9][i] == '\\' && i + 1 < f[9].size() ? (f[9][++i] == 'n' ? '\n' : f[9][i]) : f[9][i];
            dump.controls[f[0]] = {f[2] == "1",
                                   std::stoi(f[4]),
                                   std::stoi(f[5]),
                                   std::stoi(f[6]),
                                   std::stoi(f[7]),
                                   std::stod(f[8]),
                                   text};
        }
    }
    return dump;
}
