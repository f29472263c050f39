#include "diff/diff_request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/work_folder.h"
#include "diff/command_runner.h"
#include "platform/file_system.h"
#include "platform/os_error.h"
#include "support/app_folder.h"
#include "support/scripted_ui.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zfe::diff {
namespace {

using testsupport::entriesOf;
using testsupport::readFile;
using testsupport::samePlace;
using testsupport::ScriptedUi;
using testsupport::writeFile;

constexpr char kSep = platform::kPathSeparator;
constexpr core::SetTypeSelection kSplit = {true, false, false, false};
constexpr core::SetTypeSelection kMerged = {false, true, false, false};
constexpr core::SetTypeSelection kNonMerged = {false, false, true, false};
constexpr core::SetTypeSelection kFullNonMerged = {false, false, false, true};
constexpr core::SetTypeSelection kNoSetType = {false, false, false, false};

const char* const kSelectionWarning =
    "E' necessario selezionare un Dat Vecchio ed uno Nuovo per il confronto.";
const char* const kDestinationWarning = "E' necessario specificare un percorso di destinazione.";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// --- the tool's start, without running anything ------------------------------

#ifdef _WIN32
const std::string kProgramFolder = "C:\\Prog";
const std::string kRoot = "C:\\";
#else
const std::string kProgramFolder = "/Prog";
const std::string kRoot = "/";
#endif

TEST(DiffToolStart, TakesTheFirstSelectedSetTypeAndAnyNonZeroCompactValue) {
    using Options = std::vector<std::string>;
    EXPECT_EQ(toolOptions({false, true, true, true}, 0), Options{"-M"});
    EXPECT_EQ(toolOptions({true, true, true, true}, -1), (Options{"-S", "-t"}));
    EXPECT_EQ(toolOptions(kFullNonMerged, 0), Options{"-F"});
    EXPECT_EQ(toolOptions(kNoSetType, 1), Options{"-t"});
}

TEST(DiffToolStart, RunsTheProgramsToolInTheDataWorkFolderAndKeepsLeadingDashesFromOptions) {
    const platform::ProgramStart start = diffToolStart(kProgramFolder, kRoot, {"-S"}, "-x.dat", "b c.dat");
    EXPECT_EQ(start.program, kProgramFolder + kSep + "zdrl" + kSep + kDiffToolFileName);
    EXPECT_EQ(start.arguments, (std::vector<std::string>{"-S", std::string(".") + kSep + "-x.dat", "b c.dat"}));
    EXPECT_EQ(start.workingFolder, kRoot + "zdrl" + kSep) << "no second separator at the root";
}

// --- the command runner and the file test ------------------------------------

TEST(CommandRunner, RaisesAnOsErrorForAMissingProgram) {
    testsupport::TempAppFolder app;
    EXPECT_THROW(RunAndWait({app.inTools("no such tool"), {"-S", "a.dat", "b.dat"}, ""}),
                 platform::OsError);
}

TEST(CommandRunner, FileExistsOnlyForFiles) {
    testsupport::TempAppFolder app;
    writeFile(app.inTools("x.dat"), "x");
    platform::setReadOnly(app.inTools("x.dat"), true);
    EXPECT_TRUE(FileExists(app.inTools("x.dat")));
    EXPECT_FALSE(FileExists(app.tools()));
    EXPECT_FALSE(FileExists(app.tools() + kSep));
    EXPECT_FALSE(FileExists(app.inTools("y.dat")));
    EXPECT_FALSE(FileExists(app.inRoot("missing") + kSep + "x.dat"));
    EXPECT_FALSE(FileExists(""));
}

// --- the create request with the stand-in tool ---------------------------------

// Passes every call to the real service and writes it down, so that a test can
// see the order of the copies and deletes and their flags.
class RecordingFileSystem : public platform::FileSystemService {
public:
    RecordingFileSystem() : real_(platform::makeFileSystemService()) {}

    void copyFile(const std::string& source, const std::string& destination,
                  bool overwrite) override {
        calls.push_back("copy " + source + " -> " + destination +
                        (overwrite ? " overwrite" : " keep"));
        real_->copyFile(source, destination, overwrite);
    }
    void deleteFile(const std::string& path, bool force) override {
        calls.push_back("delete " + path + (force ? " force" : " no-force"));
        real_->deleteFile(path, force);
    }
    void stageFile(const std::string& source, const std::string& destination) override {
        calls.push_back("stage " + source + " -> " + destination);
        real_->stageFile(source, destination);
    }

    std::vector<std::string> calls;

private:
    std::unique_ptr<platform::FileSystemService> real_;
};

class DiffRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(app.inLibrary("a.dat"), "old dat\n");
        writeFile(app.inLibrary("b.dat"), "new dat\n");
        installTool();
        destinationFolder = app.makeFolder("out");
        destination = destinationFolder + kSep + "diff.dat";
        recordPath = app.inRoot("tool record.txt");
        testsupport::setEnvironment("ZFE_FAKE_DIFF_RECORD", recordPath);
        useToolMode("");
    }
    void TearDown() override {
        testsupport::clearEnvironment("ZFE_FAKE_DIFF_RECORD");
        testsupport::clearEnvironment("ZFE_FAKE_DIFF_MODE");
    }

    void installTool() {
        const std::string tool = app.inTools(kDiffToolFileName);
        // The build's path to the stand-in, unless the environment names it (as
        // a test run under Wine may need to).
        const char* fromEnvironment = std::getenv("ZFE_FAKE_ZANDOREL_PATH");
        const std::string standIn = fromEnvironment != nullptr && *fromEnvironment != '\0'
                                        ? fromEnvironment
                                        : ZFE_FAKE_ZANDOREL_PATH;
        std::filesystem::copy_file(testsupport::fsPath(standIn), testsupport::fsPath(tool),
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(testsupport::fsPath(tool), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
    }
    void useToolMode(const std::string& mode) {
        testsupport::setEnvironment("ZFE_FAKE_DIFF_MODE", mode.empty() ? "normal" : mode);
    }

    DiffControls controls(const std::string& oldName, const std::string& newName,
                          core::SetTypeSelection setType = kSplit, int compact = 0) const {
        DiffControls state;
        state.oldIndex = 0;
        state.oldName = oldName;
        state.newIndex = 1;
        state.newName = newName;
        state.destination = destination;
        state.setTypeSelected = setType;
        state.compact = compact;
        return state;
    }

    // As the window makes them: the diff dat delivered last is remembered.
    DiffOutcome request(DiffControls state) {
        state.lastDelivery = lastDelivery;
        last = createDiffDat(state, app.applicationPath(), files, ui, RunAndWait);
        if (last.outcome == DiffOutcome::Delivered) lastDelivery = last.delivered;
        return last.outcome;
    }

    // A request that must deliver, without a message box: the window shows the
    // result.
    void expectDelivered(const DiffControls& state) {
        const std::size_t messagesBefore = ui.messages().size();
        EXPECT_EQ(request(state), DiffOutcome::Delivered);
        EXPECT_EQ(ui.messages().size(), messagesBefore)
            << ScriptedUi::describe(ui.messages().back());
        EXPECT_EQ(last.destination, state.destination);
    }

    bool toolRan() const { return std::filesystem::exists(testsupport::fsPath(recordPath)); }

    std::vector<std::string> recorded(const std::string& key) const {
        std::vector<std::string> values;
        std::istringstream record(readFile(recordPath));
        for (std::string line; std::getline(record, line);) {
            if (line.rfind(key + "=", 0) == 0) {
                values.push_back(line.substr(key.size() + 1));
            }
        }
        return values;
    }

    // The one message the request showed: a critical box of the application.
    std::string failureText() const {
        return ui.onlyCriticalMessageText();
    }

    testsupport::TempAppFolder app;
    testsupport::CurrentDirectoryGuard currentDirectory;
    ScriptedUi ui;
    RecordingFileSystem files;
    DiffRequestResult last;
    std::optional<DeliveredFile> lastDelivery;
    std::string destinationFolder;
    std::string destination;
    std::string recordPath;
};

TEST_F(DiffRequestTest, TheToolReceivesTheExamplesArgumentsInItsOwnFolder) {
    struct Row {
        core::SetTypeSelection setType;
        int compact;
        std::vector<std::string> arguments;
    };
    const Row rows[] = {
        {kSplit, 0, {"-S", "a.dat", "b.dat"}},
        {kMerged, 1, {"-M", "-t", "a.dat", "b.dat"}},
        {kNonMerged, 1, {"-N", "-t", "a.dat", "b.dat"}},
        {kNoSetType, 1, {"-t", "a.dat", "b.dat"}},
    };
    for (const auto& row : rows) {
        expectDelivered(controls("a.dat", "b.dat", row.setType, row.compact));
        EXPECT_EQ(recorded("arg"), row.arguments);
        ASSERT_EQ(recorded("cwd").size(), 1u);
        EXPECT_TRUE(samePlace(recorded("cwd").front(), app.tools()));
    }
}

TEST_F(DiffRequestTest, SelectionWarningComesFirstAndTouchesNothing) {
    const auto before = testsupport::snapshotOf(app.tools());
    const auto startFolder = std::filesystem::current_path();

    DiffControls noOld = controls("a.dat", "b.dat");
    noOld.oldIndex = -1;
    DiffControls noNew = controls("a.dat", "b.dat");
    noNew.newIndex = -1;
    DiffControls neitherNorDestination = noOld;
    neitherNorDestination.newIndex = -1;
    neitherNorDestination.destination.clear();

    for (const auto& state : {noOld, noNew, neitherNorDestination}) {
        ui.acknowledgeMessage();
        EXPECT_EQ(request(state), DiffOutcome::Warned);
    }
    ASSERT_EQ(ui.messages().size(), 3u);
    for (const core::Message& message : ui.messages()) {
        EXPECT_EQ(message.title, "Attenzione...");
        EXPECT_EQ(message.text, kSelectionWarning);
        EXPECT_EQ(message.icon, core::MessageIcon::Warning);
        EXPECT_EQ(message.buttons, core::MessageButtons::Ok);
    }
    EXPECT_TRUE(files.calls.empty());
    EXPECT_FALSE(toolRan());
    EXPECT_EQ(testsupport::snapshotOf(app.tools()), before);
    EXPECT_EQ(std::filesystem::current_path(), startFolder);
}

TEST_F(DiffRequestTest, DestinationWarningWhenOnlyTheDestinationIsMissing) {
    DiffControls state = controls("a.dat", "b.dat");
    state.destination.clear();
    ui.acknowledgeMessage();
    EXPECT_EQ(request(state), DiffOutcome::Warned);

    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Attenzione...");
    EXPECT_EQ(ui.messages()[0].text, kDestinationWarning);
    EXPECT_EQ(ui.messages()[0].icon, core::MessageIcon::Warning);
    EXPECT_TRUE(files.calls.empty());
    EXPECT_FALSE(toolRan());
}

TEST_F(DiffRequestTest, ClearsStaleFilesInOrderWithTheirForceFlagsThenStagesAndDelivers) {
    writeFile(app.inTools("a.dat"), "stale a");
    writeFile(app.inTools("b.dat"), "stale b");
    writeFile(app.inTools("zandorel.dat"), "stale diff");
    writeFile(app.inTools("zandorel.log"), "stale log");
    platform::setReadOnly(app.inTools("zandorel.dat"), true);
    platform::setReadOnly(app.inTools("zandorel.log"), true);

    expectDelivered(controls("a.dat", "b.dat"));

    const std::string tool = app.tools() + kSep;
    const std::string output = app.applicationPath() + kSep + "zdrl" + kSep;
    const std::string library = app.library() + kSep;
    const std::vector<std::string> expected = {
        "delete " + tool + "a.dat no-force",
        "delete " + tool + "b.dat no-force",
        "delete " + tool + "zandorel.dat force",
        "delete " + tool + "zandorel.log force",
        "stage " + library + "a.dat -> " + tool + "a.dat",
        "stage " + library + "b.dat -> " + tool + "b.dat",
        "copy " + output + "zandorel.dat -> " + destination + " overwrite",
        "delete " + tool + "a.dat force",
        "delete " + tool + "b.dat force",
        "delete " + tool + "zandorel.dat force",
        "delete " + tool + "zandorel.log force",
        "delete " + tool + core::kRunRecordName + " force",
    };
    EXPECT_EQ(files.calls, expected);
    EXPECT_TRUE(recorded("found").empty()) << "the tool found an old output of its own";
    EXPECT_TRUE(contains(readFile(destination), "old dat\nnew dat\n")) << "the tool read the staged dats";
}

TEST_F(DiffRequestTest, SuccessKeepsTheReportAndLeavesOnlyTheToolInItsFolderAndItsOutputAtTheDestination) {
    const auto startFolder = std::filesystem::current_path();

    expectDelivered(controls("a.dat", "b.dat", kMerged, 1));

    EXPECT_EQ(last.report, "log line 1\nlog line 2\nlog line 3\n"
                           "Summary: 1 added, 2 removed, 0 renamed, 3 changed, 4 unchanged\n");
    EXPECT_EQ(entriesOf(app.tools()), (std::set<std::string>{kDiffToolFileName}));
    const std::string delivered = readFile(destination);
    EXPECT_EQ(delivered, readFile(recordPath + ".dat"));
    EXPECT_TRUE(contains(delivered, "old dat\nnew dat\n")) << "the tool read the staged dats";
    // The tool ran in its folder; the program's current directory, where the
    // next file dialog opens, stayed where it was.
    EXPECT_EQ(std::filesystem::current_path(), startFolder);
}

// An installation that this user cannot write: the tool runs from the
// program's zdrl/, the dats come from the data path's library and are staged,
// run and cleared in its work folder.
TEST_F(DiffRequestTest, WithTheDataApartTheToolRunsFromTheProgramInTheWorkFolder) {
    const std::string data = app.makeFolder("user data");
    platform::createFolders(data + kSep + "datfiles");
    platform::createFolders(data + kSep + "zdrl");
    writeFile(data + kSep + "datfiles" + kSep + "a.dat", "user's old\n");
    writeFile(data + kSep + "datfiles" + kSep + "b.dat", "user's new\n");
    const auto program = testsupport::snapshotOf(app.tools());

    EXPECT_EQ(createDiffDat(controls("a.dat", "b.dat"), app.applicationPath(), data, files, ui,
                            RunAndWait)
                  .outcome,
              DiffOutcome::Delivered);

    EXPECT_TRUE(ui.messages().empty());
    ASSERT_EQ(recorded("cwd").size(), 1u);
    EXPECT_TRUE(samePlace(recorded("cwd").front(), data + kSep + "zdrl"));
    EXPECT_TRUE(contains(readFile(destination), "user's old\nuser's new\n"));
    EXPECT_TRUE(entriesOf(data + kSep + "zdrl").empty()) << "the staged copies are removed";
    EXPECT_EQ(testsupport::snapshotOf(app.tools()), program);
}

// 2 is the tool's "trouble": whatever it left, nothing is delivered.
TEST_F(DiffRequestTest, ExitCodeTwoIsAFailureEvenWithADiffDat) {
    useToolMode("both-exit-2");
    ui.acknowledgeMessage();
    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::Failed);
    const std::string text = failureText();
    EXPECT_TRUE(contains(text, "codice di uscita 2")) << text;
    EXPECT_TRUE(contains(text, "log line 3")) << text;
    EXPECT_FALSE(std::filesystem::exists(testsupport::fsPath(destination)));
    EXPECT_EQ(entriesOf(app.tools()), (std::set<std::string>{kDiffToolFileName, "zandorel.log"}));
}

// A diff with nothing in it has no diff dat: the report is the result, and the
// destination stays as it was, even after a Yes to replacing it.
TEST_F(DiffRequestTest, NothingToDeliverWhenTheToolReportsButWritesNoDiffDat) {
    useToolMode("nothing-differs");
    writeFile(destination, "previous diff");
    ui.answerMessage(core::MessageAnswer::Yes);
    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::NothingToDeliver);
    EXPECT_EQ(ui.messages().size(), 1u);
    EXPECT_TRUE(contains(last.report, "Summary: 0 added")) << last.report;
    EXPECT_EQ(readFile(destination), "previous diff");
    EXPECT_EQ(entriesOf(app.tools()), (std::set<std::string>{kDiffToolFileName}));
}

// A file already at the destination is replaced only after a Yes, unless it
// is the very diff dat that this window delivered there last.
TEST_F(DiffRequestTest, AnExistingDestinationIsReplacedOnlyAfterAYes) {
    writeFile(destination, "a 269 MB download");
    ui.answerMessage(core::MessageAnswer::No);
    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::Warned);
    ASSERT_EQ(ui.messages().size(), 1u);
    const core::Message& question = ui.messages()[0];
    EXPECT_EQ(question.text, "Il file " + destination + " esiste già. Sostituirlo?");
    EXPECT_EQ(question.buttons, core::MessageButtons::YesNo);
    EXPECT_EQ(question.defaultButton, core::MessageAnswer::No);
    EXPECT_EQ(readFile(destination), "a 269 MB download");
    EXPECT_FALSE(toolRan());

    ui.answerMessage(core::MessageAnswer::Yes);
    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::Delivered);
    expectDelivered(controls("a.dat", "b.dat"));
    writeFile(destination, "put there since");
    ui.answerMessage(core::MessageAnswer::No);
    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::Warned);
    EXPECT_EQ(readFile(destination), "put there since");
}

// Two windows on one library: the second's request runs nothing while the
// first holds the work folder.
TEST_F(DiffRequestTest, AnotherDiffInTheWorkFolderIsToldAndNothingRuns) {
    std::optional<core::WorkFolderHold> otherWindow = core::WorkFolderHold::take(app.applicationPath());
    ASSERT_TRUE(otherWindow.has_value());
    ui.acknowledgeMessage();
    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::Warned);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_TRUE(contains(ui.messages()[0].text, "Un altro confronto è in corso")) << ui.messages()[0].text;
    EXPECT_FALSE(toolRan());
    otherWindow.reset();
    expectDelivered(controls("a.dat", "b.dat"));
}

// A window killed while the tool ran left its staged dats: a link to a
// read-only library dat and a read-only copy that its record names. They are
// the program's own and never stop the next request.
TEST_F(DiffRequestTest, WhatAKilledRunLeftNeverStopsTheNextOne) {
    platform::setReadOnly(app.inLibrary("a.dat"), true);
    std::filesystem::create_hard_link(testsupport::fsPath(app.inLibrary("a.dat")),
                                      testsupport::fsPath(app.inTools("a.dat")));
    writeFile(app.inTools("b.dat"), "staged copy");
    platform::setReadOnly(app.inTools("b.dat"), true);
    writeFile(app.inTools(core::kRunRecordName), std::string("b.dat", 6));

    expectDelivered(controls("a.dat", "b.dat"));

    EXPECT_EQ(entriesOf(app.tools()), (std::set<std::string>{kDiffToolFileName}));
    EXPECT_TRUE(platform::isReadOnly(app.inLibrary("a.dat")));
}

TEST_F(DiffRequestTest, ReadOnlyStaleStagedDatStopsTheRequestBeforeTheTool) {
    writeFile(app.inTools("a.dat"), "kept by the user");
    platform::setReadOnly(app.inTools("a.dat"), true);
    ui.acknowledgeMessage();

    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::Failed);

    const std::string text = failureText();
    EXPECT_TRUE(contains(text, "Impossibile eliminare il file \"" + app.inTools("a.dat") + "\""))
        << text;
    EXPECT_TRUE(contains(text, "Motivo: ")) << text;
    EXPECT_EQ(readFile(app.inTools("a.dat")), "kept by the user");
    EXPECT_FALSE(toolRan());
    EXPECT_FALSE(std::filesystem::exists(testsupport::fsPath(destination)));
}

// Each of these would run the tool for nothing, deliver the wrong file or
// destroy a dat; each is refused with a warning before anything is touched.
TEST_F(DiffRequestTest, MistakesAreRefusedBeforeAnyWork) {
    writeFile(app.inLibrary("ZANDOREL.DAT"), "a dat named as the tool's output");
    writeFile(app.inLibrary("Zandorel.log"), "a dat named as the tool's report");
    writeFile(app.inRoot("protected.dat"), "protected");
    platform::setReadOnly(app.inRoot("protected.dat"), true);
    struct Row {
        DiffControls state;
        std::string warning;
    };
    std::vector<Row> rows = {
        {controls("a.dat", "a.dat"), "lo stesso file"},
        {controls("ZANDOREL.DAT", "b.dat"), "\"ZANDOREL.DAT\" ha lo stesso nome"},
        {controls("a.dat", "Zandorel.log"), "\"Zandorel.log\" ha lo stesso nome"},
        {controls("a.dat", "b.dat"), "è uno dei due Dat"},
        {controls("a.dat", "b.dat"), "cartella di destinazione"},
        {controls("a.dat", "b.dat"), "di sola lettura"},
        {controls("a.dat", "b.dat"), "è una cartella"},
    };
    // The new dat by another spelling of its path.
    rows[3].state.destination = app.library() + kSep + "." + kSep + "b.dat";
    rows[4].state.destination = app.inRoot("no folder") + kSep + "diff.dat";
    rows[5].state.destination = app.inRoot("protected.dat");
    rows[6].state.destination = destinationFolder;
#ifndef _WIN32
    // A folder whose owner may not write counts as unwritable, for root too.
    const std::string lockedFolder = app.makeFolder("locked");
    platform::setReadOnly(lockedFolder, true);
    rows.push_back({controls("a.dat", "b.dat"), "cartella di destinazione"});
    rows.back().state.destination = lockedFolder + kSep + "diff.dat";
    // A pipe would be replaced by a file.
    const std::string pipe = app.inRoot("pipe.dat");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    rows.push_back({controls("a.dat", "b.dat"), "una pipe o un dispositivo"});
    rows.back().state.destination = pipe;
#endif
    const auto snapshot = [&] {
        return std::vector{testsupport::snapshotOf(app.library()), testsupport::snapshotOf(app.tools()),
                           testsupport::snapshotOf(destinationFolder)};
    };
    const auto before = snapshot();
    for (const Row& row : rows) {
        ui.acknowledgeMessage();
        EXPECT_EQ(request(row.state), DiffOutcome::Warned) << row.warning;
        ASSERT_FALSE(ui.messages().empty());
        EXPECT_EQ(ui.messages().back().title, "Attenzione...");
        EXPECT_TRUE(contains(ui.messages().back().text, row.warning)) << ui.messages().back().text;
    }
    EXPECT_EQ(ui.messages().size(), rows.size());
    EXPECT_TRUE(files.calls.empty());
    EXPECT_FALSE(toolRan());
    EXPECT_EQ(snapshot(), before);
}

TEST_F(DiffRequestTest, ReadOnlyLibraryDatCanBeComparedAgainAndAgain) {
    // Its staged copy is read-only as well, and is removed all the same.
    platform::setReadOnly(app.inLibrary("a.dat"), true);
    expectDelivered(controls("a.dat", "b.dat"));
    expectDelivered(controls("a.dat", "b.dat"));
    EXPECT_EQ(entriesOf(app.tools()), (std::set<std::string>{kDiffToolFileName}));
    EXPECT_TRUE(platform::isReadOnly(app.inLibrary("a.dat")));
}

TEST_F(DiffRequestTest, DestinationInTheToolsFolderIsRefusedBeforeAnythingIsTouched) {
    std::vector<std::string> destinations = {
        app.inTools("zandorel.log"),
        app.inTools(kDiffToolFileName),
        app.library() + kSep + ".." + kSep + "zdrl" + kSep + "diff.dat",
    };
#ifndef _WIN32
    const std::string link = app.inRoot("tools link");
    std::filesystem::create_directory_symlink(testsupport::fsPath(app.tools()), testsupport::fsPath(link));
    destinations.push_back(link + kSep + "diff.dat");
#endif
    const auto before = testsupport::snapshotOf(app.tools());
    for (const std::string& inToolFolder : destinations) {
        DiffControls state = controls("a.dat", "b.dat");
        state.destination = inToolFolder;
        ui.acknowledgeMessage();
        EXPECT_EQ(request(state), DiffOutcome::Warned) << inToolFolder;
    }
    ASSERT_EQ(ui.messages().size(), destinations.size());
    for (const core::Message& message : ui.messages()) {
        EXPECT_EQ(message.title, "Attenzione...");
        EXPECT_EQ(message.icon, core::MessageIcon::Warning);
        EXPECT_TRUE(contains(message.text, "cartella del programma di confronto")) << message.text;
    }
    EXPECT_TRUE(files.calls.empty());
    EXPECT_FALSE(toolRan());
    EXPECT_EQ(testsupport::snapshotOf(app.tools()), before);
}

TEST_F(DiffRequestTest, NameWithABlankReachesTheToolAsOneArgument) {
    writeFile(app.inLibrary("old set.dat"), "old set\n");
    expectDelivered(controls("old set.dat", "b.dat", kNonMerged, 0));
    EXPECT_EQ(recorded("arg"), (std::vector<std::string>{"-N", "old set.dat", "b.dat"}));
    EXPECT_TRUE(contains(readFile(destination), "old set\nnew dat\n"));
}

TEST_F(DiffRequestTest, EveryNameReachesTheToolAsItIs) {
    std::vector<std::pair<std::string, std::string>> names = {{"-x.dat", std::string(".") + kSep + "-x.dat"}};
#ifndef _WIN32
    // Names that only POSIX allows: double quotes, with and without backslashes before them.
    names.push_back({"say \"hi\".dat", "say \"hi\".dat"});
    names.push_back({"a\\\" b\\.dat", "a\\\" b\\.dat"});
#endif
    for (const auto& [name, argument] : names) {
        writeFile(app.inLibrary(name), "content of " + name + "\n");
        expectDelivered(controls(name, "b.dat"));
        EXPECT_EQ(recorded("arg"), (std::vector<std::string>{"-S", argument, "b.dat"})) << name;
        EXPECT_TRUE(contains(readFile(destination), "content of " + name + "\nnew dat\n")) << name;
    }
}

TEST_F(DiffRequestTest, MissingToolIsReportedWithTheCommandLineAndTheProgramGoesOn) {
    std::filesystem::remove(testsupport::fsPath(app.inTools(kDiffToolFileName)));
    ui.acknowledgeMessage();

    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::Failed);

    const std::string text = failureText();
    EXPECT_TRUE(contains(text, "Impossibile avviare il programma di confronto")) << text;
    const std::string line = platform::commandLineOf(
        diffToolStart(app.applicationPath(), app.applicationPath(), {"-S"}, "a.dat", "b.dat"));
    EXPECT_TRUE(contains(text, line)) << text;
    EXPECT_TRUE(contains(text, "Motivo: ")) << text;
    EXPECT_TRUE(entriesOf(app.tools()).empty()) << "the staged copies are removed";
    EXPECT_FALSE(std::filesystem::exists(testsupport::fsPath(destination)));

    // Once the tool is back, the next request works.
    installTool();
    expectDelivered(controls("a.dat", "b.dat"));
}

TEST_F(DiffRequestTest, NoDiffDatShowsTheEndOfTheToolsLogAndKeepsIt) {
    useToolMode("no-dat");
    writeFile(destination, "previous diff");
    ui.answerMessage(core::MessageAnswer::Yes).acknowledgeMessage();

    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::Failed);

    ASSERT_EQ(ui.messages().size(), 2u);
    const std::string text = ui.messages()[1].text;
    EXPECT_TRUE(contains(text, "Il programma di confronto non ha creato il DiffDat")) << text;
    EXPECT_TRUE(contains(text, "zandorel.log")) << text;
    EXPECT_TRUE(contains(text, "log line 11\r\n")) << text;
    EXPECT_TRUE(contains(text, "log line 30")) << text;
    EXPECT_FALSE(contains(text, "log line 10\r\n")) << text;
    EXPECT_EQ(readFile(destination), "previous diff");
    EXPECT_EQ(entriesOf(app.tools()), (std::set<std::string>{kDiffToolFileName, "zandorel.log"}));
}

TEST_F(DiffRequestTest, NoDiffDatAndNoLogSaysSo) {
    useToolMode("nothing");
    ui.acknowledgeMessage();
    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::Failed);
    const std::string text = failureText();
    EXPECT_TRUE(contains(text, "non ha creato il DiffDat")) << text;
    EXPECT_TRUE(contains(text, "Non ha lasciato nemmeno il file")) << text;
    EXPECT_FALSE(std::filesystem::exists(testsupport::fsPath(destination)));
}

TEST_F(DiffRequestTest, MissingLogAfterDeliveryIsNoError) {
    useToolMode("no-log");
    expectDelivered(controls("a.dat", "b.dat"));
    EXPECT_EQ(last.report, "");
    EXPECT_EQ(readFile(destination), readFile(recordPath + ".dat"));
    EXPECT_EQ(entriesOf(app.tools()), (std::set<std::string>{kDiffToolFileName}));
}

TEST_F(DiffRequestTest, MissingToolFolderStopsBeforeAnyWork) {
    std::filesystem::remove_all(testsupport::fsPath(app.tools()));
    const auto startFolder = std::filesystem::current_path();
    ui.acknowledgeMessage();

    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::Failed);

    const std::string text = failureText();
    EXPECT_TRUE(contains(text, "Impossibile usare la cartella di lavoro \"" + app.tools() + kSep + "\""))
        << text;
    EXPECT_TRUE(contains(text, "Motivo: ")) << text;
    EXPECT_FALSE(std::filesystem::exists(testsupport::fsPath(app.tools())));
    EXPECT_EQ(std::filesystem::current_path(), startFolder);
}

TEST_F(DiffRequestTest, DatGoneFromTheLibraryStopsTheStagingAndRemovesWhatWasStaged) {
    std::filesystem::remove(testsupport::fsPath(app.inLibrary("b.dat")));
    ui.acknowledgeMessage();

    EXPECT_EQ(request(controls("a.dat", "b.dat")), DiffOutcome::Failed);

    const std::string text = failureText();
    EXPECT_TRUE(contains(text, "\"" + app.inLibrary("b.dat") + "\"")) << text;
    EXPECT_TRUE(contains(text, "Motivo: ")) << text;
    EXPECT_EQ(entriesOf(app.tools()), (std::set<std::string>{kDiffToolFileName}));
    EXPECT_FALSE(toolRan());
}

// --- the destination browse ------------------------------------------------------

TEST(DiffDatName, IsMadeFromTheTwoDatsAndTheSetTypeWithTheNewDatsExtension) {
    DiffControls state;
    state.oldIndex = 0;
    state.newIndex = 1;
    const auto proposed = [&](std::string oldName, std::string newName, core::SetTypeSelection setType) {
        state.oldName = std::move(oldName);
        state.newName = std::move(newName);
        state.setTypeSelected = setType;
        return proposedDiffDatName(state);
    };
    EXPECT_EQ(proposed("mame0250.xml", "mame0251.xml", kMerged), "mame0250 - mame0251 (Merged).xml");
    EXPECT_EQ(proposed("old.dat", "new", kNonMerged), "old - new (Non merged).dat");
    EXPECT_EQ(proposed("a.dat", "b.dat", kFullNonMerged), "a - b (Full non merged).dat");
    EXPECT_EQ(proposed(std::string(150, 'x') + ".dat", "b.dat", kSplit),
              std::string(100, 'x') + "... - b (Split).dat");
    state.newIndex = -1;
    EXPECT_EQ(proposedDiffDatName(state), "");
}

// The browse offers a new name in its own last folder: never a file that an
// import chose, which Enter would then replace.
TEST_F(DiffRequestTest, BrowseProposesANewNameInItsOwnLastFolder) {
    core::CommonDialogMemory dialog;
    std::string caption;
    const std::string chosen = destinationFolder + kSep + "not there yet.dat";
    ui.chooseSave(chosen).cancelSave();

    browseDestination(ui, dialog, "a - b (Split).dat", caption);
    EXPECT_EQ(caption, chosen);
    EXPECT_EQ(dialog.fileName, chosen);
    EXPECT_TRUE(samePlace(std::filesystem::current_path().string(), destinationFolder));

    const auto startFolder = std::filesystem::current_path();
    browseDestination(ui, dialog, "c - d (Merged).xml", caption);
    ASSERT_EQ(ui.dialogs().size(), 2u);
    EXPECT_EQ(ui.dialogs()[0].kind, ScriptedUi::DialogKind::Save);
    EXPECT_EQ(ui.dialogs()[0].request.initialFileName, "a - b (Split).dat");
    EXPECT_FALSE(ui.dialogs()[0].request.filter.has_value());
    EXPECT_EQ(ui.dialogs()[1].request.initialFileName, destinationFolder + kSep + "c - d (Merged).xml");
    // The cancel left everything as the confirmation made it.
    EXPECT_EQ(caption, chosen);
    EXPECT_EQ(dialog.fileName, chosen);
    EXPECT_EQ(std::filesystem::current_path(), startFolder);
    EXPECT_TRUE(ui.messages().empty());
}

}  // namespace
}  // namespace zfe::diff
