// The table of headless commands. A command is a file of its own (command_*.cpp) with one
// function that runs its command line (commands.h); adding one is that file, its line in
// commands.h and a row here.
#include "plant/plant.h"

#include "nvmxv451_version.h"
#include "plant/commands.h"
#include "platform/system/settings.h"

#include <cstdio>
#include <cstring>

namespace {

struct PlantCommand {
    const char *name;
    int (*run)(int argc, char **argv); // argv[1] is the command's name
};

const PlantCommand commands[] = {
    {"check", RunCheckCommand},     {"get", RunGetCommand},           {"send", RunSendCommand},
    {"record", RunRecordCommand},   {"evaluate", RunEvaluateCommand}, {"tune", RunTuneCommand},
    {"status", RunStatusCommand},   {"snapshot", RunSnapshotCommand}, {"diff", RunDiffCommand},
    {"restore", RunRestoreCommand}, {"log", RunLogCommand},           {"serve", RunServeCommand},
    {"events", RunEventsCommand},   {"borrow", RunBorrowCommand},     {"return", RunReturnCommand},
};

const PlantCommand *FindCommand(int argc, char **argv) {
    for (const PlantCommand &command : commands)
        if (argc > 1 && std::strcmp(argv[1], command.name) == 0)
            return &command;
    return nullptr;
}

// "nvmxv451 COMMAND --version" prints the version as "nvmxv451 --version" does.
bool AsksForVersion(int argc, char **argv) {
    for (int i = 2; i < argc; i++)
        if (std::strcmp(argv[i], "--version") == 0)
            return true;
    return false;
}

} // namespace

int IsPlantCommandLine(int argc, char **argv) {
    return FindCommand(argc, argv) != nullptr;
}

const char *PlantCommandName(int index) {
    const int count = (int)(sizeof commands / sizeof commands[0]);
    return index >= 0 && index < count ? commands[index].name : nullptr;
}

int RunPlantCommand(int argc, char **argv) {
    const PlantCommand *command = FindCommand(argc, argv);
    if (command == nullptr)
        return 2;
    if (AsksForVersion(argc, argv)) {
        std::printf("%s %s\n", NVMX_PROGRAM, NVMX_VERSION);
        return 0;
    }
    InitSettings("Quarnet", NVMX_PROGRAM);
    return command->run(argc, argv);
}
