// Two parameter blocks compared: each differing parameter or teach cell by the name the panel
// gives it, with its value in each (the bytes as the .dat file holds them). The line commands
// and the change log tell differences alike. Free of Qt.
#pragma once

#include "sensor/wire.h"

#include <string>
#include <vector>

struct BlockDifference {
    int offset;
    std::string name; // "MAXCOL-No.", "COLOR TEACH TABLE row 3 CTO"
    int before;
    int after;
};

// Every offset at which after differs from before, in block order.
std::vector<BlockDifference> DiffBlocks(const unsigned char before[BLOCK_LENGTH],
                                        const unsigned char after[BLOCK_LENGTH]);
// "MAXCOL-No. 3->4, COLOR TEACH TABLE row 0 X 114->115" with at most limit of them, then
// "and N more"; "" when there are none.
std::string DescribeDifferences(const std::vector<BlockDifference> &differences, size_t limit);
// The same with each value named by the side it is of ("RAM"): "INTLIM EEPROM 10 -> RAM 30".
std::string DescribeDifferencesOf(const std::vector<BlockDifference> &differences, size_t limit,
                                  const std::string &beforeSide, const std::string &afterSide);
// "1 difference", "3 differences".
std::string DifferenceCount(size_t count);
// The differences as a JSON array: [{"name":"MAXCOL-No.","offset":7,"old":3,"new":4},...].
std::string DifferencesJson(const std::vector<BlockDifference> &differences);
