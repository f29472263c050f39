// The tool run as the window runs it: in the folder of the two dats, with bare
// names, on generated dats whose changes the generator knows.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/os_error.h"
#include "support/run_to_files.h"
#include "tests/tools/zandorel/test_support.h"
#include "tools/datgen/datgen.h"
#include "tools/zandorel/set_model.h"

namespace zfe::zandorel {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

struct ToolRun {
    int exitCode = -1;
    std::string log;
    std::string errors;
    bool wroteDat = false;
    std::string dat;
};

// The items of a report section ("Added", ...), one per line, without indent
// and without what follows the set's name (or names) two blanks after it.
Names section(const std::string& log, const std::string& title) {
    Names items;
    const std::size_t start = log.find("\n" + title + " (");
    if (start == std::string::npos) return items;
    std::istringstream lines(log.substr(log.find('\n', start + 1) + 1));
    std::string line;
    while (std::getline(lines, line) && !line.empty()) {
        if (line.rfind("    ", 0) == 0) continue;  // entry details
        items.insert(line.substr(2, line.find("  ", 2) - 2));
    }
    return items;
}

// The report without the lines that name the files, for comparing runs.
std::string body(const std::string& log) {
    return log.substr(log.find("\nAdded ("));
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() /
            ("zandorel-e2e-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Runs the tool as the window does: through the launcher, in the folder,
    // its standard output and error into files there.
    ToolRun run(const std::vector<std::string>& arguments) {
        ToolRun result;
        try {
            result.exitCode = testsupport::runToFiles({ZANDOREL_EXECUTABLE, arguments, folder_.string()},
                                                      (folder_ / "stdout.txt").string(),
                                                      (folder_ / "stderr.txt").string());
        } catch (const platform::OsError& error) {
            ADD_FAILURE() << error.what();
        }
        result.log = readText(folder_ / "zandorel.log");
        result.errors = readText(folder_ / "stderr.txt");
        result.wroteDat = fs::exists(folder_ / "zandorel.dat");
        if (result.wroteDat) result.dat = readText(folder_ / "zandorel.dat");
        for (const auto& entry : fs::directory_iterator(folder_)) {
            EXPECT_NE(entry.path().extension(), ".tmp") << "left behind: " << entry.path();
        }
        return result;
    }

    void writePair(int games, std::uint32_t seed, bool crlf = false) {
        datgen::Options options;
        options.games = games;
        options.seed = seed;
        options.crlf = crlf;
        writeText(folder_ / "old.dat", datgen::generate(options).text);
        options.nextVersion = true;
        const datgen::Generated next = datgen::generate(options);
        writeText(folder_ / "new dat.dat", next.text);
        changes_ = next.changes;
    }

    void writeListxmlPair(int machines, std::uint32_t seed) {
        datgen::Options options;
        options.games = machines;
        options.seed = seed;
        options.format = datgen::Format::listxml;
        writeText(folder_ / "old.xml", datgen::generate(options).text);
        options.nextVersion = true;
        writeText(folder_ / "new.xml", datgen::generate(options).text);
    }

    fs::path folder_;
    datgen::Changes changes_;
};

// Non-merged sets are the games' own rom lists, which is what the generator
// counts: the diff must find exactly its changes. The one thing it counts that
// is no change of content is a nodump rom added or dropped.
TEST_F(EndToEnd, NonMergedFindsWhatTheGeneratorChanged) {
    writePair(3000, 11);
    const ToolRun result = run({"-N", "old.dat", "new dat.dat"});
    ASSERT_EQ(result.exitCode, 1) << result.errors;
    ASSERT_TRUE(result.wroteDat);

    EXPECT_EQ(section(result.log, "Added"), Names(changes_.added.begin(), changes_.added.end()));
    EXPECT_EQ(section(result.log, "Removed"),
              Names(changes_.removed.begin(), changes_.removed.end()));
    Names renamed;
    for (const auto& [from, to] : changes_.renamed) renamed.insert(from + " -> " + to);
    EXPECT_EQ(section(result.log, "Renamed"), renamed);

    const Names changed = section(result.log, "Changed");
    const Names expected(changes_.changed.begin(), changes_.changed.end());
    ASSERT_FALSE(expected.empty());
    const Dat oldDat = readDatFile((folder_ / "old.dat").string());
    const Dat newDat = readDatFile((folder_ / "new dat.dat").string());
    const auto romLinesWithData = [](const Dat& dat, const std::string& name) {
        const Game& game = dat.games[dat.findGame(name).value()];
        std::istringstream lines(
            std::string(dat.text.substr(game.blockBegin, game.blockEnd - game.blockBegin)));
        std::multiset<std::string> roms;
        for (std::string line; std::getline(lines, line);) {
            if (line.find("rom (") != std::string::npos &&
                line.find("nodump") == std::string::npos) {
                roms.insert(line);
            }
        }
        return roms;
    };
    for (const std::string& name : expected) {
        if (changed.count(name)) continue;
        EXPECT_EQ(romLinesWithData(oldDat, name), romLinesWithData(newDat, name))
            << name << " is unchanged for the diff but its roms with data changed";
    }
    for (const std::string& name : changed) EXPECT_TRUE(expected.count(name)) << name;

    // The diff dat holds the added, renamed and changed games and nothing else.
    const Dat written = test::parse(result.dat, "zandorel.dat");
    Names inDat;
    for (const Game& game : written.games) inDat.insert(std::string(written.view(game.name)));
    Names wanted = changed;
    wanted.insert(changes_.added.begin(), changes_.added.end());
    for (const auto& pair : changes_.renamed) wanted.insert(pair.second);
    EXPECT_EQ(inDat, wanted);
    EXPECT_NE(result.log.find("zandorel.dat holds " + std::to_string(inDat.size()) + " games"),
              std::string::npos);
}

TEST_F(EndToEnd, SplitAndMergedStayWithinTheGeneratorsChanges) {
    writePair(3000, 23, true);
    Names touched(changes_.added.begin(), changes_.added.end());
    touched.insert(changes_.removed.begin(), changes_.removed.end());
    touched.insert(changes_.changed.begin(), changes_.changed.end());
    for (const auto& [from, to] : changes_.renamed) {
        touched.insert(from);
        touched.insert(to);
    }
    const ToolRun split = run({"-S", "old.dat", "new dat.dat"});
    ASSERT_EQ(split.exitCode, 1) << split.errors;
    for (const char* title : {"Added", "Removed", "Changed"}) {
        for (const std::string& name : section(split.log, title)) {
            EXPECT_TRUE(touched.count(name)) << title << " " << name;
        }
    }
    // A rename that the split sets do not see as one (a clone whose roms are all
    // its parent's) shows as a removed and an added set.
    const Names added = section(split.log, "Added");
    const Names removed = section(split.log, "Removed");
    const Names renamedSplit = section(split.log, "Renamed");
    for (const auto& [from, to] : changes_.renamed) {
        EXPECT_TRUE(renamedSplit.count(from + " -> " + to) ||
                    (removed.count(from) && added.count(to)))
            << from << " -> " << to;
    }
    EXPECT_NE(split.dat.find("\r\n"), std::string::npos);  // in the new dat's line ends

    // The window's own call: merged and compact.
    const ToolRun merged = run({"-M", "-t", "old.dat", "new dat.dat"});
    ASSERT_EQ(merged.exitCode, 1) << merged.errors;
    const Dat written = test::parse(merged.dat, "zandorel.dat");
    const Dat newDat = readDatFile((folder_ / "new dat.dat").string());
    const SetModel families(newDat, SetType::Merged);
    const Names changedFamilies = section(merged.log, "Changed");
    const Names addedFamilies = section(merged.log, "Added");
    ASSERT_FALSE(changedFamilies.empty());
    for (const Game& game : written.games) {
        const std::uint32_t index = newDat.findGame(written.view(game.name)).value();
        const std::string family(families.name(families.setOfGame(index)));
        EXPECT_TRUE(changedFamilies.count(family) || addedFamilies.count(family)) << family;
        EXPECT_GT(game.entryCount, 0U);
    }
    EXPECT_NE(merged.log.find("Form: compact"), std::string::npos);
}

TEST_F(EndToEnd, ADatAgainstItselfGivesAnEmptyDiffAndNoDiffDat) {
    writePair(500, 5);
    for (const char* type : {"-S", "-m", "-N"}) {
        const ToolRun result = run({type, "old.dat", "old.dat"});
        ASSERT_EQ(result.exitCode, 0) << result.errors;
        EXPECT_NE(result.log.find("Summary: 0 added, 0 removed, 0 renamed, 0 changed"),
                  std::string::npos)
            << result.log;
        EXPECT_FALSE(result.wroteDat) << type;
    }
}

// Trouble with an input writes the report and leaves an earlier diff dat as it
// was; a usage error writes nothing at all.
TEST_F(EndToEnd, TroubleKeepsTheDiffDatAndAUsageErrorWritesNothing) {
    writePair(200, 3);
    const std::string whole = readText(folder_ / "new dat.dat");
    writeText(folder_ / "new dat.dat", whole.substr(0, whole.size() / 2));
    const std::string earlier = "result of an earlier run";
    writeText(folder_ / "zandorel.dat", earlier);
    const ToolRun truncated = run({"-M", "-t", "old.dat", "new dat.dat"});
    EXPECT_EQ(truncated.exitCode, 2);
    EXPECT_EQ(truncated.dat, earlier);
    try {
        test::parse(whole.substr(0, whole.size() / 2), "new dat.dat");
        ADD_FAILURE() << "half a dat read without an error";
    } catch (const DatError& error) {
        const std::string where = "new dat.dat:" + std::to_string(error.position().line) + ":" +
                                  std::to_string(error.position().column) + ": ";
        EXPECT_NE(truncated.log.find(where), std::string::npos) << truncated.log;
        EXPECT_NE(truncated.errors.find(where), std::string::npos) << truncated.errors;
    }
    EXPECT_NE(truncated.log.find("truncated"), std::string::npos);

    const ToolRun missing = run({"-S", "old.dat", "nothere.dat"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.log.find("nothere.dat"), std::string::npos);
    EXPECT_EQ(missing.dat, earlier);

    fs::create_directory(folder_ / "a folder");
    const ToolRun folder = run({"-S", "old.dat", "a folder"});
    EXPECT_EQ(folder.exitCode, 2);
    EXPECT_NE(folder.errors.find("a folder: this is a folder"), std::string::npos) << folder.errors;

    const std::string earlierLog = readText(folder_ / "zandorel.log");
    const std::vector<std::string> usages[] = {{"-X", "old.dat", "old.dat"}, {"-S", "old.dat"}, {"-So"}};
    for (const auto& usage : usages) {
        const ToolRun bad = run(usage);
        const std::string shown = ::testing::PrintToString(usage);
        EXPECT_EQ(bad.exitCode, 2) << shown;
        EXPECT_NE(bad.errors.find("Usage:"), std::string::npos) << shown;
        EXPECT_EQ(bad.log, earlierLog) << shown;
        EXPECT_EQ(bad.dat, earlier) << shown;
        EXPECT_TRUE(readText(folder_ / "stdout.txt").empty()) << shown;
    }
    EXPECT_NE(run({"-X", "old.dat", "old.dat"}).errors.find("unknown option '-X'"), std::string::npos);
}

// -o names the diff dat and puts the report beside it; the summary line goes
// to standard output.
TEST_F(EndToEnd, AnOutputNamedByTheUserAndTheSummaryOnStandardOutput) {
    writePair(100, 9);
    fs::create_directory(folder_ / "out");
    const ToolRun named = run({"-Mt", "-o", "out/diff.dat", "old.dat", "new dat.dat"});
    ASSERT_EQ(named.exitCode, 1) << named.errors;
    EXPECT_FALSE(named.wroteDat);
    const std::string report = readText(folder_ / "out" / "diff.log");
    const std::size_t summary = report.find("Summary: ");
    ASSERT_NE(summary, std::string::npos) << report;
    // Standard output is text: on Windows its line end is CRLF.
    std::string printed = readText(folder_ / "stdout.txt");
    std::erase(printed, '\r');
    EXPECT_EQ(printed, report.substr(summary));
    EXPECT_NE(report.find("out/diff.dat holds"), std::string::npos) << report;
    EXPECT_FALSE(test::parse(readText(folder_ / "out" / "diff.dat")).games.empty());

    // The report may not be an input either.
    const std::string old = readText(folder_ / "old.dat");
    fs::copy_file(folder_ / "old.dat", folder_ / "old.log");
    EXPECT_EQ(run({"-o", "old.xml", "old.log", "new dat.dat"}).exitCode, 2);
    EXPECT_EQ(readText(folder_ / "old.log"), old);
    EXPECT_FALSE(fs::exists(folder_ / "old.xml"));
}

// File names are UTF-8 on every platform: on Windows they reach the tool
// through the wide command line, beyond what the ANSI code page holds.
TEST_F(EndToEnd, NamesOutsideAsciiAreReadAndWritten) {
    writePair(50, 11);
    fs::rename(folder_ / "new dat.dat", folder_ / fs::path(u8"Così è – 日本.dat"));
    const ToolRun result = run({"-S", "-o", "uscita 日本.dat", "old.dat", "Così è – 日本.dat"});
    ASSERT_EQ(result.exitCode, 1) << result.errors;
    EXPECT_FALSE(test::parse(readText(folder_ / fs::path(u8"uscita 日本.dat"))).games.empty());
    EXPECT_NE(readText(folder_ / fs::path(u8"uscita 日本.log")).find("Summary: "),
              std::string::npos);
}

// The outputs are never an input, by whatever name the input is given.
TEST_F(EndToEnd, AnInputThatIsAnOutputIsRefusedAndKept) {
    writePair(100, 4);
    const std::string dat = readText(folder_ / "old.dat");
    fs::copy_file(folder_ / "old.dat", folder_ / "zandorel.dat");
    const ToolRun failing = run({"-S", "zandorel.dat", "nothere.dat"});
    EXPECT_EQ(failing.exitCode, 2);
    EXPECT_EQ(readText(folder_ / "zandorel.dat"), dat);

    fs::create_directory(folder_ / "sub");
    const ToolRun viaPath = run({"-S", "new dat.dat", "sub/../zandorel.dat"});
    EXPECT_EQ(viaPath.exitCode, 2);
    EXPECT_NE(viaPath.errors.find("is the file zandorel.dat"), std::string::npos) << viaPath.errors;
    EXPECT_EQ(readText(folder_ / "zandorel.dat"), dat);

    fs::remove(folder_ / "zandorel.dat");
    fs::rename(folder_ / "old.dat", folder_ / "zandorel.log");
    const ToolRun log = run({"-M", "zandorel.log", "new dat.dat"});
    EXPECT_EQ(log.exitCode, 2);
    EXPECT_EQ(log.log, dat);  // the input, untouched
    EXPECT_FALSE(log.wroteDat);
}

TEST_F(EndToEnd, ExitCodesAndOptionsEndedByTwoDashes) {
    writePair(100, 6);
    fs::copy_file(folder_ / "old.dat", folder_ / "-x.dat");
    const ToolRun same = run({"-N", "--", "-x.dat", "old.dat"});
    EXPECT_EQ(same.exitCode, 0) << same.errors;
    EXPECT_FALSE(same.wroteDat);
    const ToolRun differ = run({"-N", "--", "-x.dat", "new dat.dat"});
    EXPECT_EQ(differ.exitCode, 1) << differ.errors;
    // The second run's report took the place of the first's.
    EXPECT_FALSE(test::parse(differ.dat).games.empty());
    EXPECT_EQ(differ.log.find("Summary: 0 added, 0 removed"), std::string::npos) << differ.log;
    const ToolRun unknown = run({"-x.dat", "old.dat"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.errors.find("unknown option '-x.dat'"), std::string::npos);
}

#ifndef _WIN32
// A -listxml pair whose next version gave devices new dumps: under full
// non-merged sets every game that names such a device has changed too. Every
// diff dat is valid against the DTD that it carries, as xmllint judges it.
TEST_F(EndToEnd, FullSetsSeeTheirDevicesAndEveryXmlDiffDatIsValid) {
    if (!xmlSupported()) GTEST_SKIP() << "built without XML support";
    writeListxmlPair(1500, 12);
    const ToolRun nonMerged = run({"-N", "old.xml", "new.xml"});
    const ToolRun full = run({"-F", "old.xml", "new.xml"});
    ASSERT_EQ(full.exitCode, 1) << full.errors;
    const Names changedAlone = section(nonMerged.log, "Changed");
    const Names changed = section(full.log, "Changed");
    const Dat newDat =
        readDatFile((folder_ / "new.xml").string(), kReadAhead, DeviceRefs::Read);
    const SetModel sets(newDat, SetType::FullNonMerged);
    std::size_t throughDevices = 0;
    for (const std::string& name : changed) {
        if (changedAlone.count(name)) continue;
        ++throughDevices;
        const auto devices = sets.devicesOf(newDat.findGame(name).value());
        EXPECT_TRUE(std::any_of(devices.begin(), devices.end(), [&](std::uint32_t device) {
            return changedAlone.count(std::string(newDat.view(newDat.games[device].name))) > 0;
        })) << name << " changed, but none of its devices";
    }
    EXPECT_GT(throughDevices, 0U);
    for (const std::string& name : changedAlone) EXPECT_TRUE(changed.count(name)) << name;

    for (const char* type : {"-S", "-M", "-N", "-F"}) {
        for (const bool compact : {false, true}) {
            std::vector<std::string> arguments{type, "old.xml", "new.xml"};
            if (compact) arguments.insert(arguments.begin() + 1, "-t");
            SCOPED_TRACE(::testing::PrintToString(arguments));
            ASSERT_EQ(run(arguments).exitCode, 1);
            const int valid = testsupport::runToFiles(
                {"xmllint", {"--valid", "--noout", (folder_ / "zandorel.dat").string()}, ""},
                (folder_ / "xmllint-out.txt").string(), (folder_ / "xmllint.txt").string());
            EXPECT_EQ(valid, 0) << readText(folder_ / "xmllint.txt");
        }
    }
}

// A named pipe is read once, as it can be.
TEST_F(EndToEnd, ANamedPipeIsReadOnce) {
    writePair(100, 8);
    const std::string fifo = (folder_ / "pipe.dat").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A writer that waits for its reader, as a program writing into the pipe would.
    const std::string text = readText(folder_ / "new dat.dat");
    std::atomic<bool> fed{false};
    std::thread feeder([&] {
        const int end = ::open(fifo.c_str(), O_WRONLY);
        for (std::size_t done = 0; end >= 0 && done < text.size();) {
            const ssize_t written = ::write(end, text.data() + done, text.size() - done);
            if (written <= 0) break;
            done += static_cast<std::size_t>(written);
        }
        ::close(end);
        fed = true;
    });
    const ToolRun piped = run({"-S", "old.dat", "pipe.dat"});
    // A tool that did not read it all would leave the writer waiting.
    const int drain = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    for (char buffer[4096]; !fed;) {
        if (::read(drain, buffer, sizeof buffer) <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::close(drain);
    feeder.join();
    EXPECT_EQ(piped.exitCode, 1) << piped.errors;
    const ToolRun direct = run({"-S", "old.dat", "new dat.dat"});
    // The same games; the headers name their own NEW.
    EXPECT_EQ(piped.dat.substr(piped.dat.find("\ngame (")),
              direct.dat.substr(direct.dat.find("\ngame (")));

    // Named twice, each reader would get part of its bytes.
    const ToolRun twice = run({"-S", "pipe.dat", "pipe.dat"});
    EXPECT_EQ(twice.exitCode, 2);
    EXPECT_NE(twice.errors.find("one pipe or device"), std::string::npos) << twice.errors;
}

// A device is held to what a file could hold: no dat reads past a NUL byte,
// so an endless one ends there.
TEST_F(EndToEnd, AnEndlessDeviceEndsAtItsFirstNulByte) {
    writePair(10, 1);
    const ToolRun zeros = run({"-S", "/dev/zero", "old.dat"});
    EXPECT_EQ(zeros.exitCode, 2);
    EXPECT_NE(zeros.errors.find("/dev/zero:1:1"), std::string::npos) << zeros.errors;
}
#endif

TEST_F(EndToEnd, XmlDatsGiveTheSameDiffAsTheirListinfoTwins) {
    if (!xmlSupported()) GTEST_SKIP() << "built without XML support";
    writePair(1500, 31);
    writeText(folder_ / "old.xml", test::toXml(readDatFile((folder_ / "old.dat").string())));
    writeText(folder_ / "new.xml", test::toXml(readDatFile((folder_ / "new dat.dat").string())));
    for (const char* type : {"-S", "-M", "-N"}) {
        const ToolRun listinfo = run({type, "old.dat", "new dat.dat"});
        const ToolRun xml = run({type, "old.xml", "new.xml"});
        ASSERT_EQ(listinfo.exitCode, 1) << listinfo.errors;
        ASSERT_EQ(xml.exitCode, 1) << xml.errors;
        EXPECT_EQ(body(xml.log), body(listinfo.log)) << type;
        EXPECT_NE(xml.log.find("(XML, "), std::string::npos);
        // The XML diff dat is XML again, and holds the same games.
        const Dat fromXml = test::parse(xml.dat, "zandorel.dat");
        const Dat fromListinfo = test::parse(listinfo.dat, "zandorel.dat");
        EXPECT_EQ(fromXml.format, DatFormat::Xml);
        ASSERT_EQ(fromXml.games.size(), fromListinfo.games.size());
        for (std::size_t i = 0; i < fromXml.games.size(); ++i) {
            EXPECT_EQ(fromXml.view(fromXml.games[i].name),
                      fromListinfo.view(fromListinfo.games[i].name));
        }
    }
}

}  // namespace
}  // namespace zfe::zandorel
