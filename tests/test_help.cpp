// The help and the manual pages against the program: every option a command's parser takes (as
// its own option table gives it) is in the command's --help and in its part of the manual, every
// command is in the program's --help and the manual's synopsis, every exit code the commands
// define is listed, and the pages render without a warning.
#include "plant/commands.h"
#include "plant/plant.h"
#include "platform/system/commandline.h"
#include "platform/system/optionparser.h"
#include "support/command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const double timeout = 60.0;
// The headings of the manual's parts that describe the options shared by every command on sensors.
const char sensorOptionsHeading[] = "Options of the commands on sensors";
const char brokerOptionsHeading[] = "Broker options (panel and commands)";

std::string Source(const std::string &path) {
    const char *top = std::getenv("NVMX_SOURCE_DIR");
    return std::string(top ? top : "..") + "/" + path;
}

// ---- What the parsers take ---------------------------------------------------------------

// The options of one command line as they are typed: "-o" and "--output" of "o,output" (a name
// of one letter is a short option, as the parser has it).
using Flags = std::set<std::string>;

Flags FlagsOf(const CommandLineForm &form) {
    Flags flags;
    for (const OptionForm &option : form.options) {
        const std::string names = option.names;
        for (size_t start = 0; start <= names.size();) {
            const size_t comma = std::min(names.find(',', start), names.size());
            const std::string name = names.substr(start, comma - start);
            flags.insert((name.size() == 1 ? "-" : "--") + name);
            start = comma + 1;
        }
    }
    return flags;
}

void KeepForm(const CommandLineForm &form, void *context) {
    static_cast<std::vector<Flags> *>(context)->push_back(FlagsOf(form));
}

// The option tables that the command line args reaches, as its parsers are handed them.
std::vector<Flags> FormsReachedBy(std::vector<std::string> args, bool panel = false) {
    std::vector<Flags> forms;
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    ObserveCommandLineForms(KeepForm, &forms);
    if (panel) {
        PanelStart start;
        TelemetryConfig telemetry{};
        int given = 0;
        ParseCommandLine((int)args.size(), argv.data(), &start, &telemetry, &given);
    } else {
        RunPlantCommand((int)args.size(), argv.data());
    }
    ObserveCommandLineForms(nullptr, nullptr);
    return forms;
}

std::vector<std::string> CommandNames() {
    std::vector<std::string> names;
    for (int i = 0; PlantCommandName(i) != nullptr; i++)
        names.push_back(PlantCommandName(i));
    return names;
}

// The forms of a command: on files and, where it has one, on sensors (diff has both; --port
// picks the second).
std::vector<Flags> FormsOf(const std::string &command) {
    std::vector<Flags> forms = FormsReachedBy({"nvmxv451", command});
    for (const Flags &form : FormsReachedBy({"nvmxv451", command, "--port", "COM1"}))
        forms.push_back(form);
    return forms;
}

Flags Union(const std::vector<Flags> &forms) {
    Flags all;
    for (const Flags &form : forms)
        all.insert(form.begin(), form.end());
    return all;
}

// The options that every form on sensors takes: the manual describes them once.
Flags SensorOptions() {
    Flags shared;
    bool first = true;
    for (const std::string &command : CommandNames())
        for (const Flags &form : FormsOf(command)) {
            if (form.count("--port") == 0)
                continue;
            if (first)
                shared = form;
            Flags kept;
            for (const std::string &flag : shared)
                if (form.count(flag))
                    kept.insert(flag);
            shared = kept;
            first = false;
        }
    return shared;
}

// The exit codes of the commands on sensors, from the commands' enum: all but tune's own.
std::set<int> PortExitCodes() {
    const std::string header = ReadText(Source("plant/exitcodes.h"));
    const std::regex entry("PLANT_EXIT_[A-Z_]+\\s*=\\s*(\\d+)");
    std::set<int> codes;
    for (std::sregex_iterator it(header.begin(), header.end(), entry), end; it != end; ++it)
        codes.insert(std::stoi((*it)[1]));
    codes.erase(PLANT_EXIT_NOT_SEPARATED);
    return codes;
}

// ---- What the texts say ------------------------------------------------------------------

// flag as a word of text: not part of a longer option ("--to" in "--token").
bool Mentions(const std::string &text, const std::string &flag) {
    auto isWord = [](char c) { return std::isalnum((unsigned char)c) || c == '-' || c == '_'; };
    for (size_t at = text.find(flag); at != std::string::npos; at = text.find(flag, at + 1)) {
        const size_t after = at + flag.size();
        if ((at == 0 || !isWord(text[at - 1])) && (after == text.size() || !isWord(text[after])))
            return true;
    }
    return false;
}

// The codes of an exit-code list: lines that begin with a number after a little indent.
std::set<int> ListedCodes(const std::string &text) {
    const std::regex line("(^|\\n) {1,8}(\\d+) {2,}");
    std::set<int> codes;
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
        codes.insert(std::stoi((*it)[2]));
    return codes;
}

std::string ProgramOnPath(const char *name) {
    const char *path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= folders.size();) {
        const size_t colon = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, colon - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = colon + 1;
    }
    return "";
}

// A manual page formatted for a terminal with every warning on; lines wide enough that no
// option is broken across two.
CommandOutput Render(const std::string &page, const char *device) {
    const std::string groff = ProgramOnPath("groff");
    if (groff.empty()) {
        ADD_FAILURE() << "groff is missing (scripts/setup installs groff-base)";
        return {};
    }
    return RunCommand({groff, "-man", "-ww", std::string("-T") + device, "-P-cbou", "-rLL=2000n",
                       Source("packaging/" + page)},
                      {}, timeout);
}

// A part of a rendered page: from the line of its heading (a section's at the margin, a
// subsection's indented by 3) to the next heading of its level or above.
std::string Part(const std::string &rendered, const std::string &heading) {
    const std::vector<std::string> lines = Lines(rendered);
    auto level = [](const std::string &line) {
        const size_t indent = line.find_first_not_of(' ');
        return indent == 0 ? 0 : indent == 3 ? 1 : -1;
    };
    std::string part;
    int own = -1;
    for (const std::string &line : lines) {
        if (own < 0) {
            if (level(line) >= 0 && line.substr(line.find_first_not_of(' ')) == heading)
                own = level(line);
            continue;
        }
        if (level(line) >= 0 && level(line) <= own)
            break;
        part += line + "\n";
    }
    return part;
}

// ---- The checks ----------------------------------------------------------------------------

TEST(Help, EveryCommandsHelpNamesEveryOptionItsParsersTakeAndItsExitCodes) {
    const std::set<int> portCodes = PortExitCodes();
    ASSERT_GT(portCodes.size(), 5u) << "no exit codes read from plant/exitcodes.h";
    const std::vector<std::string> commands = CommandNames();
    ASSERT_FALSE(commands.empty());
    for (const std::string &command : commands) {
        const std::vector<Flags> forms = FormsOf(command);
        ASSERT_FALSE(forms.empty()) << command << " hands no option table to the parser";
        const CommandOutput help = RunCommand({Bin("nvmxv451"), command, "--help"}, {}, timeout);
        EXPECT_EQ(help.exitCode, 0) << command << " --help: " << help.err;
        EXPECT_EQ(help.err, "") << command << " --help";
        for (const std::string &flag : Union(forms))
            EXPECT_TRUE(Mentions(help.out, flag)) << command << " --help leaves out " << flag;
        EXPECT_NE(help.out.find("Exit code"), std::string::npos) << command << " --help";
        if (Union(forms).count("--port") == 0)
            continue;
        const std::set<int> listed = ListedCodes(help.out.substr(help.out.find("Exit code")));
        for (int code : portCodes)
            EXPECT_TRUE(listed.count(code)) << command << " --help lists no exit code " << code;
    }
    // tune's own: two rows that cannot be told apart.
    const CommandOutput tune = RunCommand({Bin("nvmxv451"), "tune", "--help"}, {}, timeout);
    const std::string exitCodes =
        tune.out.substr(std::min(tune.out.find("Exit codes"), tune.out.size()));
    EXPECT_TRUE(Mentions(exitCodes, std::to_string(PLANT_EXIT_NOT_SEPARATED))) << tune.out;
}

TEST(Help, TheProgramsHelpNamesEveryCommand) {
    const CommandOutput help = RunCommand({Bin("nvmxv451"), "--help"}, {}, timeout);
    ASSERT_EQ(help.exitCode, 0) << help.err;
    for (const std::string &command : CommandNames())
        EXPECT_TRUE(std::regex_search(help.out, std::regex("\\n  " + command + " ")))
            << "nvmxv451 --help lists no " << command << ":\n"
            << help.out;
}

TEST(Manual, PagesRenderWithoutAWarning) {
    for (const char *page : {"nvmxv451.1", "nvmxv451-sensor-emulator.1"})
        for (const char *device : {"ascii", "utf8"}) {
            const CommandOutput rendered = Render(page, device);
            EXPECT_EQ(rendered.exitCode, 0) << page << " " << device;
            EXPECT_EQ(rendered.err, "") << page << " " << device;
            EXPECT_NE(rendered.out.find("SYNOPSIS"), std::string::npos) << page << " " << device;
        }
}

TEST(Manual, TheProgramsPageNamesEveryCommandOptionAndExitCode) {
    const std::string page = Render("nvmxv451.1", "ascii").out;
    ASSERT_FALSE(page.empty());
    const std::string synopsis = Part(page, "SYNOPSIS");
    const std::string shared = Part(page, sensorOptionsHeading) + Part(page, brokerOptionsHeading);
    const Flags sensorOptions = SensorOptions();
    ASSERT_TRUE(sensorOptions.count("--port") && sensorOptions.count("--mqtt-host"));
    for (const Flags &form : FormsReachedBy({"nvmxv451"}, true))
        for (const std::string &flag : form)
            EXPECT_TRUE(Mentions(Part(page, "OPTIONS"), flag)) << "the panel's " << flag;
    for (const std::string &command : CommandNames()) {
        EXPECT_NE(synopsis.find("nvmxv451 " + command + " "), std::string::npos)
            << "the synopsis leaves out " << command;
        const std::string own = Part(page, command);
        EXPECT_FALSE(own.empty()) << "no part of its own for " << command;
        for (const Flags &form : FormsOf(command)) {
            // Forms on sensors share their common options; the others describe all of theirs.
            const bool onSensors = form.count("--port") > 0;
            for (const std::string &flag : form) {
                const bool documented =
                    Mentions(own, flag) ||
                    (onSensors && sensorOptions.count(flag) && Mentions(shared, flag));
                EXPECT_TRUE(documented) << "the manual's " << command << " leaves out " << flag;
            }
        }
    }
    std::set<int> codes = PortExitCodes();
    codes.insert(PLANT_EXIT_NOT_SEPARATED);
    const std::set<int> listed = ListedCodes(Part(page, "EXIT STATUS"));
    for (int code : codes)
        EXPECT_TRUE(listed.count(code)) << "EXIT STATUS lists no " << code;
}

TEST(Manual, TheEmulatorsPageNamesEveryOptionOfItsHelp) {
    // The emulator's help and its parser are made from one table.
    const CommandOutput help = RunCommand({Bin("sensor-emulator"), "--help"}, {}, timeout);
    ASSERT_EQ(help.exitCode, 0) << help.err;
    const std::regex option("(^|\\n) +(--[a-z][a-z0-9-]*)");
    Flags flags;
    for (std::sregex_iterator it(help.out.begin(), help.out.end(), option), end; it != end; ++it)
        flags.insert((*it)[2]);
    ASSERT_GT(flags.size(), 20u) << help.out;
    const std::string options = Part(Render("nvmxv451-sensor-emulator.1", "ascii").out, "OPTIONS");
    for (const std::string &flag : flags)
        EXPECT_TRUE(Mentions(options, flag)) << "the emulator's page leaves out " << flag;
}

} // namespace
