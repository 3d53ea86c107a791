// Differences of parameter blocks.
#include "changes/blockdiff.h"

#include "com232/exchanges.h"

#include <nlohmann/json.hpp>

enum { NAME_LEN = 64 };

std::vector<BlockDifference> DiffBlocks(const unsigned char before[BLOCK_LENGTH],
                                        const unsigned char after[BLOCK_LENGTH]) {
    std::vector<BlockDifference> differences;
    for (int offset = 0; offset < BLOCK_LENGTH; offset++) {
        if (before[offset] == after[offset])
            continue;
        char name[NAME_LEN];
        DescribeBlockOffset(offset, name, sizeof name);
        differences.push_back({offset, name, before[offset], after[offset]});
    }
    return differences;
}

std::string DescribeDifferences(const std::vector<BlockDifference> &differences, size_t limit) {
    std::string text;
    for (size_t i = 0; i < differences.size() && i < limit; i++) {
        const BlockDifference &difference = differences[i];
        text += (i ? ", " : "") + difference.name + " " + std::to_string(difference.before) + "->" +
                std::to_string(difference.after);
    }
    if (differences.size() > limit)
        text += " and " + std::to_string(differences.size() - limit) + " more";
    return text;
}

std::string DifferencesJson(const std::vector<BlockDifference> &differences) {
    nlohmann::json list = nlohmann::json::array();
    for (const BlockDifference &difference : differences)
        list.push_back({{"name", difference.name},
                        {"offset", difference.offset},
                        {"old", difference.before},
                        {"new", difference.after}});
    return list.dump();
}
