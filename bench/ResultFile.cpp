#include "bench/ResultFile.h"

namespace bench {

std::vector<Record> readRecords(const std::string& path)
{
    std::vector<Record> records;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        Record fields;
        std::size_t start = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        records.push_back(std::move(fields));
    }
    return records;
}

}  // namespace bench
