// The web view in a real browser: the line page's tiles show the emulators' colours, a sensor
// whose emulator ended as LINE LOST, a replacement with its alarm, and the whole page grey once
// the stream is lost; the sensor page draws its charts and lists its events; and nothing a page
// loads comes from anywhere but the service.
#include "support/browser.h"
#include "support/web_fixture.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

class WebPages : public ServedWeb {
  protected:
    void SetUp() override {
        ServedWeb::SetUp();
        // A replacement stays an alarm, so that the page can show it.
        WriteText(lineFile, ReadText(lineFile) + "\n[service]\non_replace = \"alarm\"\n");
        Plug("infeed", emulator({"--pace", "--fixed", "90,100,110"}));
        infeedEmulator = emulators.size() - 1;
        ASSERT_TRUE(browser.start()) << browser.error();
    }
    // A script's text for the tile of sensor.
    static std::string Tile(const char *sensor) {
        return std::string("document.querySelector('.tile[data-sensor=\"") + sensor + "\"]')";
    }
    // Every resource the page loaded came from the service.
    void expectNothingFromElsewhere() {
        const nlohmann::json loaded =
            browser.run("return performance.getEntriesByType('resource').map(e => e.name)"
                        ".concat([location.href])");
        ASSERT_TRUE(loaded.is_array()) << browser.error();
        EXPECT_GT(loaded.size(), 1u);
        for (const auto &url : loaded)
            EXPECT_EQ(url.get<std::string>().rfind(base() + "/", 0), 0u) << url;
        for (const auto &entry : browser.consoleLog())
            EXPECT_NE(entry.value("level", ""), "SEVERE") << entry.dump();
    }
    Browser browser;
    size_t infeedEmulator = 0;
};

} // namespace

TEST_F(WebPages, TheLinePageShowsColoursLossesReplacementsAndAlarms) {
    CommandRun serve;
    ASSERT_TRUE(startService(&serve));
    ASSERT_TRUE(lineComesTo(AllOnline)) << serve.finish(1).err;
    ASSERT_TRUE(browser.open(base() + "/")) << browser.error();

    const std::string infeed = Tile("infeed");
    ASSERT_TRUE(browser.waitFor("const t = " + infeed +
                                    "; return !!t && t.querySelector('[data-v=\"RED\"]')"
                                    ".textContent === '90' && !t.classList.contains('stale')",
                                timeout))
        << browser.error();
    EXPECT_EQ(browser.run("return " + infeed +
                          ".querySelector('.swatch.measured').style.backgroundColor"),
              "rgb(90, 100, 110)");
    EXPECT_EQ(browser.run("return " + infeed + ".querySelector('[data-v=\"GREEN\"]').textContent"),
              "100");
    EXPECT_EQ(browser.run("return document.querySelector('#stream').classList.contains('live')"),
              true);
    expectNothingFromElsewhere();

    // The emulator ends: LINE LOST, grey, with the reason; the other sensor goes on.
    emulators[infeedEmulator]->signal(SIGTERM);
    emulators[infeedEmulator]->finish(timeout);
    EXPECT_TRUE(browser.waitFor("const t = " + infeed +
                                    "; return t.querySelector('.state').textContent"
                                    ".startsWith('LINE LOST') && t.classList.contains('stale')",
                                timeout))
        << browser.error();
    EXPECT_EQ(browser.run("return " + Tile("outfeed") + ".classList.contains('stale')"), false);

    // Another unit in its place: the replacement is an alarm on the tile, and its EEPROM is no
    // longer the approved set.
    const std::string other = (scratch / "other-eeprom.dat").string();
    WriteText(other, WithLine(ReadText(approved), 5, 30)); // INTLIM 30
    Plug("infeed", emulator({"--pace", "--eeprom", other}));
    EXPECT_TRUE(
        browser.waitFor("const t = " + infeed +
                            "; return t.classList.contains('alarm') && "
                            "!t.classList.contains('stale') && "
                            "!!t.querySelector('.alarms li.alarm[data-alarm=\"replaced\"]')",
                        timeout))
        << browser.error();
    EXPECT_EQ(get("/api/sensors/infeed")["memories"]["EEPROM"]["inStep"], false);
    const std::string alarmText =
        browser.run("return " + infeed + ".querySelector('.alarms').textContent");
    EXPECT_NE(alarmText.find("INTLIM 10->30"), std::string::npos) << alarmText;

    // The service ends: every tile goes grey, and the page says the stream is lost.
    serve.signal(SIGTERM);
    EXPECT_EQ(serve.finish(timeout).exitCode, 0);
    EXPECT_TRUE(browser.waitFor("return document.querySelector('#stream').classList.contains"
                                "('lost') && [...document.querySelectorAll('.tile')]"
                                ".every(t => t.classList.contains('stale'))",
                                timeout))
        << browser.error();
}

TEST_F(WebPages, ASensorPageDrawsItsChartsAndListsItsEvents) {
    CommandRun serve;
    ASSERT_TRUE(startService(&serve));
    ASSERT_TRUE(lineComesTo(AllOnline)) << serve.finish(1).err;
    ASSERT_TRUE(browser.open(base() + "/sensor.html?name=infeed")) << browser.error();
    EXPECT_TRUE(browser.waitFor("return document.querySelector('#name').textContent === 'infeed'"
                                " && document.querySelector('#state').textContent"
                                ".startsWith('LINE OK')"
                                " && document.querySelectorAll('#events li').length > 0",
                                timeout))
        << browser.error();
    // Both charts hold drawn pixels of more than one colour after a few updates.
    const std::string colours = R"(
        const c = document.querySelector(arguments[0]);
        const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
        const seen = new Set();
        for (let i = 0; i < d.length; i += 4 * 97) seen.add(d[i] + ',' + d[i+1] + ',' + d[i+2]);
        return seen.size > 3;)";
    for (const char *chart : {"canvas#strip", "canvas#graph"})
        EXPECT_TRUE(
            browser.waitFor("return (function() {" +
                                std::string(colours).replace(colours.find("arguments[0]"), 12,
                                                             std::string("'") + chart + "'") +
                                "})()",
                            timeout))
            << chart << ": " << browser.error();
    expectNothingFromElsewhere();
    serve.signal(SIGTERM);
    EXPECT_EQ(serve.finish(timeout).exitCode, 0);
}
