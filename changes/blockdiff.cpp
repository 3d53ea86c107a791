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

namespace {

// The differences told one after another, each by tell, at most limit of them.
template <typename Tell>
std::string TellDifferences(const std::vector<BlockDifference> &differences, size_t limit,
                            Tell tell) {
    std::string text;
    for (size_t i = 0; i < differences.size() && i < limit; i++)
        text += (i ? ", " : "") + tell(differences[i]);
    if (differences.size() > limit)
        text += " and " + std::to_string(differences.size() - limit) + " more";
    return text;
}

} // namespace

std::string DescribeDifferences(const std::vector<BlockDifference> &differences, size_t limit) {
    return TellDifferences(differences, limit, [](const BlockDifference &difference) {
        return difference.name + " " + std::to_string(difference.before) + "->" +
               std::to_string(difference.after);
    });
}

std::string DescribeDifferencesOf(const std::vector<BlockDifference> &differences, size_t limit,
                                  const std::string &beforeSide, const std::string &afterSide) {
    return TellDifferences(differences, limit, [&](const BlockDifference &difference) {
        return difference.name + " " + beforeSide + " " + std::to_string(difference.before) +
               " -> " + afterSide + " " + std::to_string(difference.after);
    });
}

std::string DifferenceCount(size_t count) {
    return std::to_string(count) + (count == 1 ? " difference" : " differences");
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
