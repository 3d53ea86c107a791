// The sensor emulator's protocol, spoken to over its pseudo-terminal as the program speaks: the
// line check among noise, RAM and EEPROM blocks, the EEPROM file, the data frames' formulas and
// colour numbers, and its command line.
#include "support/emulator_child.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Block offset of teach row (0..14), column (1..5).
int CellAt(int row, int column) {
    return 9 + 5 * row + (column - 1);
}

void SetRow(Bytes &block, int row, std::array<unsigned char, 5> cells) {
    for (int column = 1; column <= 5; ++column) {
        block[CellAt(row, column)] = cells[column - 1];
    }
}

// What the sensor should report as C-No for a frame under the block, from the frame's own X, Y
// and INT.
int ExpectedColourNumber(const Bytes &frame, const Bytes &block) {
    if (frame[5] < block[INTLIM]) {
        return 255;
    }
    for (int row = 0; row < std::min<int>(block[MAXCOL], 15); ++row) {
        int dx = frame[3] - block[CellAt(row, 1)];
        int dy = frame[4] - block[CellAt(row, 2)];
        int cto = block[CellAt(row, 3)];
        int di = frame[5] - block[CellAt(row, 4)];
        int ito = block[CellAt(row, 5)];
        if (dx * dx + dy * dy <= cto * cto && di >= -ito && di <= ito) {
            return row;
        }
    }
    return 255;
}

TEST(Emulator, AnswersLineCheckSkipsNoiseAndSurvivesReopen) {
    Emulator emulator;
    ASSERT_TRUE(emulator.open());
    EXPECT_EQ(emulator.ask(7), lineOk);

    // Noise before a request, an unknown command and a doubled sync byte.
    emulator.send({0x00, 0x13, 0xAA, 0xFF});
    EXPECT_EQ(emulator.ask(7), lineOk);
    EXPECT_TRUE(emulator.ask(6).empty());
    emulator.send({0x55});
    EXPECT_EQ(emulator.ask(7), lineOk);

    // The program closes and reopens the port: the line must still be there.
    close(emulator.line);
    emulator.line = Emulator::OpenRaw(emulator.path);
    ASSERT_GE(emulator.line, 0);
    EXPECT_EQ(emulator.ask(7), lineOk);
    EXPECT_EQ(emulator.stop(), 0);
}

TEST(Emulator, KeepsRamAndEepromApartAndDropsIncompleteWrites) {
    Emulator emulator;
    ASSERT_TRUE(emulator.open());
    Bytes factory = emulator.askExactly(3, BLOCK);
    ASSERT_EQ(factory.size(), (size_t)BLOCK);
    EXPECT_EQ(emulator.askExactly(4, BLOCK), factory);
    EXPECT_GT(factory[MAXCOL], 0);

    // Sync and command values inside a block are data, not new requests.
    Bytes ram(BLOCK);
    for (int i = 0; i < BLOCK; ++i) {
        ram[i] = (unsigned char)(i % 3 == 0 ? 0x55 : 200 - i);
    }
    ram[1] = 0x07;
    emulator.write(1, ram);
    EXPECT_EQ(emulator.askExactly(3, BLOCK), ram);
    EXPECT_EQ(emulator.askExactly(4, BLOCK), factory);

    Bytes eeprom(BLOCK, 17);
    emulator.write(2, eeprom);
    EXPECT_EQ(emulator.askExactly(4, BLOCK), eeprom);
    EXPECT_EQ(emulator.askExactly(3, BLOCK), ram);

    // Half a block, then silence: nothing of it may reach RAM, and the line goes on working.
    emulator.write(1, Bytes(40, 99));
    usleep(1300 * 1000);
    EXPECT_EQ(emulator.askExactly(3, BLOCK), ram);
    EXPECT_EQ(emulator.ask(7), lineOk);
}

TEST(Emulator, EepromFilePersistsAcrossRunsAsFiveWideText) {
    std::string file = TempPath("eeprom.dat");
    Bytes eeprom(BLOCK);
    for (int i = 0; i < BLOCK; ++i) {
        eeprom[i] = (unsigned char)((i * 37) % 256);
    }
    eeprom[0] = 255;
    eeprom[1] = 0;
    {
        Emulator first;
        ASSERT_TRUE(first.open({"--eeprom-file", file}));
        Bytes ram = first.askExactly(3, BLOCK);
        EXPECT_EQ(first.askExactly(4, BLOCK), ram) << "without a file EEPROM starts as RAM";
        first.write(2, eeprom);
        EXPECT_EQ(first.askExactly(4, BLOCK), eeprom);
        EXPECT_EQ(first.stop(), 0);
    }
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string expected;
    for (unsigned char value : eeprom) {
        char field[8];
        snprintf(field, sizeof field, "%5d\n", value);
        expected += field;
    }
    EXPECT_EQ(text, expected);
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));

    {
        Emulator second;
        ASSERT_TRUE(second.open({"--eeprom-file", file}));
        EXPECT_EQ(second.askExactly(4, BLOCK), eeprom);
        EXPECT_NE(second.askExactly(3, BLOCK), eeprom) << "RAM does not load the EEPROM";
    }

    // A file that is not a parameter file is refused and left as it was.
    std::ofstream(file) << "  12\n abc\n";
    Emulator refused;
    EXPECT_FALSE(refused.start({"--eeprom-file", file}));
    EXPECT_EQ(refused.Wait(5.0), 1);
    std::ifstream again(file);
    std::string kept((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "  12\n abc\n");
    std::filesystem::remove(file);
}

TEST(Emulator, DataFramesFollowTheFormulasAndTheTaughtRows) {
    Emulator emulator;
    ASSERT_TRUE(emulator.open());
    Bytes block = emulator.askExactly(3, BLOCK);
    ASSERT_EQ(block.size(), (size_t)BLOCK);
    int low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
    int detected = 0;
    for (int n = 0; n < 600; ++n) {
        Bytes frame = emulator.askExactly(5, FRAME);
        ASSERT_EQ(frame.size(), (size_t)FRAME) << "frame " << n;
        ExpectCoordinatesMatchRGB(frame);
        ASSERT_EQ(frame[6], ExpectedColourNumber(frame, block)) << "frame " << n;
        detected += frame[6] != 255;
        for (int i = 0; i < 3; ++i) {
            low[i] = std::min<int>(low[i], frame[3 + i]);
            high[i] = std::max<int>(high[i], frame[3 + i]);
        }
    }
    EXPECT_GT(high[0] - low[0], 100) << "X must move across the plane";
    EXPECT_GT(high[1] - low[1], 100) << "Y must move across the plane";
    EXPECT_GT(high[2] - low[2], 50) << "INT must move";
    EXPECT_GT(detected, 0) << "the colour passes through the taught rows";
}

TEST(Emulator, ColourNumberOfAFixedColour) {
    // 100, 50, 30: X 141, Y 70, INT 45 + 11 = 56.
    Emulator emulator;
    ASSERT_TRUE(emulator.open({"--fixed", "100,50,30"}));
    auto colourNumber = [&](const Bytes &block) {
        emulator.write(1, block);
        Bytes frame = emulator.askExactly(5, FRAME);
        EXPECT_EQ(frame.size(), (size_t)FRAME);
        return frame.size() == FRAME ? frame[6] : -1;
    };
    Bytes frame = emulator.askExactly(5, FRAME);
    EXPECT_EQ(frame, (Bytes{100, 50, 30, 141, 70, 56, frame[6]}));

    Bytes block = SensorBlock({55, 0, 0, 1, 0, 10, 0, 3, 2}, 0);
    SetRow(block, 0, {141, 70, 5, 100, 10}); // in the circle, out of the band
    SetRow(block, 1, {144, 74, 5, 60, 4});   // on the rim, at the band's edge
    SetRow(block, 3, {141, 70, 9, 56, 9});
    EXPECT_EQ(colourNumber(block), 1);
    block[INTLIM] = 56;
    EXPECT_EQ(colourNumber(block), 1);
    block[INTLIM] = 57;
    EXPECT_EQ(colourNumber(block), 255) << "INT below INTLIM";
    block[INTLIM] = 10;
    block[CellAt(1, 3)] = 4;
    EXPECT_EQ(colourNumber(block), 255) << "just outside the circle; row 3 is inactive";
    block[MAXCOL] = 4;
    EXPECT_EQ(colourNumber(block), 3);
    block[MAXCOL] = 200;
    EXPECT_EQ(colourNumber(block), 3) << "more than 15 active rows means all of them";
    block[EVALMODE] = 1;
    EXPECT_EQ(colourNumber(block), 0) << "EVALMODE 1 evaluates the position only";

    Bytes contrast = SensorBlock({55, 0, 0, 1, 4, 10, 0, 1, 2}, 0); // CONTRAST G, GREEN 50
    SetRow(contrast, 0, {60, 50, 1, 1, 1});
    EXPECT_EQ(colourNumber(contrast), 0);
    SetRow(contrast, 0, {49, 40, 1, 1, 1});
    EXPECT_EQ(colourNumber(contrast), 255);
    contrast[EVALMODE] = 3; // CONTRAST R, RED 100
    SetRow(contrast, 0, {100, 100, 1, 1, 1});
    EXPECT_EQ(colourNumber(contrast), 0);
}

TEST(Emulator, HelpAndUsageErrors) {
    Emulator help;
    EXPECT_TRUE(help.start({"--help"}));
    EXPECT_EQ(help.firstLine.rfind("Usage: sensor-emulator", 0), 0u);
    EXPECT_EQ(help.Wait(5.0), 0);

    for (const std::vector<std::string> &bad : std::vector<std::vector<std::string>>{
             {"--short", "x"}, {"--fixed", "1,2"}, {"--fixed", "1,2,256"}, {"--bogus"}}) {
        Emulator emulator;
        EXPECT_FALSE(emulator.start(bad)) << bad[0];
        EXPECT_EQ(emulator.Wait(5.0), 2) << bad[0];
    }
}

} // namespace
