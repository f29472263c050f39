// The whole main job as a user runs it: the main window, the project's own diff
// tool in zdrl/ and a pair of generated dats in the library, for every set type
// with and without "Compatto".
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTreeView>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/process.h"
#include "gui/main_window_fixture.h"
#include "tools/datgen/datgen.h"
#include "gui/controls.h"
#include "gui/frm_result.h"

namespace zfe::gui {
namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

struct DiffChoice {
    int setType;
    bool compact;
    const char* setTypeOption;  // what the tool is given for the set type
};

class WholeProgramTest : public MainWindowTest, public ::testing::WithParamInterface<DiffChoice> {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        const fs::path tool = program / "zdrl" / fs::path(ZFE_ZANDOREL_PATH).filename();
        fs::copy_file(ZFE_ZANDOREL_PATH, tool);
        datgen::Options options;
        options.games = 400;
        options.seed = 11;
        oldDat = datgen::generate(options).text;
        options.nextVersion = true;
        newDat = datgen::generate(options).text;
        addDat("old set.dat", oldDat);
        addDat("new.dat", newDat);
        outside = root / "outside";
        fs::create_directories(outside);
    }

    // The tool run by hand on the same two dats, with the same names (the diff
    // dat names both), for comparison.
    std::string toolOutput(const char* setTypeOption, bool compact = false,
                           const std::u8string& oldName = u8"old set.dat") {
        writeFile(outside / fs::path(oldName), oldDat);
        writeFile(outside / "new.dat", newDat);
        std::vector<std::string> arguments{setTypeOption};
        if (compact) arguments.emplace_back("-t");
        arguments.insert(arguments.end(), {std::string(oldName.begin(), oldName.end()), "new.dat"});
        const std::u8string folder = outside.u8string();
        const int exitCode = platform::runAndWait(
            {ZFE_ZANDOREL_PATH, arguments, std::string(folder.begin(), folder.end())});
        EXPECT_EQ(exitCode, 1) << "the generated dats differ, which the tool says with 1";
        return readFile(outside / "zandorel.dat");
    }

    // "old set.dat" against "new.dat" as the user picks them, delivered to a
    // destination outside the program.
    fs::path pressCreaDiffDat(FrmMain& frm, int setType, bool compact,
                              const QString& oldName = QStringLiteral("old set.dat")) {
        auto* oldList = control<FileListBox>(frm, "filOld");
        auto* newList = control<FileListBox>(frm, "filNew");
        oldList->setSelectedIndex(static_cast<int>(oldList->fileNames().indexOf(oldName)));
        newList->setSelectedIndex(static_cast<int>(newList->fileNames().indexOf(QStringLiteral("new.dat"))));
        if (setType >= 0) {  // else as the window restored it
            const std::string setTypeOption = "optSetType(" + std::to_string(setType) + ")";
            control<QRadioButton>(frm, setTypeOption.c_str())->setChecked(true);
        }
        control<QCheckBox>(frm, "chkTiny")->setChecked(compact);
        const fs::path destination = root / "diff.dat";
        control<QLabel>(frm, "lblFileDest")->setText(QString::fromStdString(destination.string()));
        control<QToolButton>(frm, "cmdCrea")->click();
        return destination;
    }

    std::string oldDat;
    std::string newDat;
    fs::path outside;
};

TEST_P(WholeProgramTest, CreaDiffDatDeliversTheToolsDiffDatAndLeavesTheToolFolderClean) {
    const DiffChoice choice = GetParam();
    FrmMain& frm = open();
    const fs::path destination = pressCreaDiffDat(frm, choice.setType, choice.compact);

    // The result window reads the tool's report: every category lists its sets.
    EXPECT_TRUE(ui.messages().empty());
    const auto* result = frm.findChild<FrmResult*>();
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(control<QLabel>(*result, "lblSummary")->text().startsWith("Aggiunti: "));
    const auto* changed = control<QTreeView>(*result, "lstChanged");
    EXPECT_GT(changed->model()->rowCount(), 0);
    EXPECT_GT(changed->model()->rowCount(changed->model()->index(0, 0)), 0) << "a changed set's entries";
    const std::string delivered = readFile(destination);
    EXPECT_NE(delivered.find("game ("), std::string::npos) << "the diff dat holds no game";
    EXPECT_EQ(delivered, toolOutput(choice.setTypeOption, choice.compact));

    std::map<std::string, bool> leftInToolFolder;
    for (const auto& entry : fs::directory_iterator(program / "zdrl")) {
        leftInToolFolder[entry.path().filename().string()] = true;
    }
    // The tool alone: its output and the staged copies are gone.
    EXPECT_EQ(leftInToolFolder.size(), 1u);
}

// An installation this user cannot write: the tool runs from the program's
// zdrl/, the dats and the work are the user's.
TEST_F(WholeProgramTest, WithTheDataApartCreaDiffDatRunsTheInstalledToolInTheUsersWorkFolder) {
    const fs::path installedTools = program / "zdrl";
    FrmMain& frm = openWithDataApart();
    addDat("old set.dat", oldDat);
    addDat("new.dat", newDat);
    frm.refreshLists();
    const fs::path destination = pressCreaDiffDat(frm, 1, false);

    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(readFile(destination), toolOutput("-M"));
    EXPECT_TRUE(testsupport::entriesOf((library.parent_path() / "zdrl").string()).empty());
    EXPECT_EQ(testsupport::entriesOf(installedTools.string()),
              std::set<std::string>{fs::path(ZFE_ZANDOREL_PATH).filename().string()});
}

// A program folder and a dat whose names are not ASCII: on Windows they go
// through UTF-16 to the tool's command line and its file names.
TEST_F(WholeProgramTest, NamesOutsideAsciiReachTheToolAndBringItsDiffDat) {
    const fs::path folder = root / fs::path(u8"Programmi àè");
    fs::create_directories(folder / "datfiles");
    fs::create_directories(folder / "zdrl");
    const fs::path tool = fs::path(ZFE_ZANDOREL_PATH).filename();
    fs::copy_file(program / "zdrl" / tool, folder / "zdrl" / tool);
    writeFile(folder / "datfiles" / fs::path(u8"vecchio è.dat"), oldDat);
    writeFile(folder / "datfiles" / "new.dat", newDat);
    const std::u8string folderText = folder.u8string();
    window = std::make_unique<FrmMain>(std::string(folderText.begin(), folderText.end()), ui, *settings);
    const fs::path destination =
        pressCreaDiffDat(*window, 1, false, QString::fromUtf8(u8"vecchio è.dat"));

    EXPECT_TRUE(ui.messages().empty()) << ui.messages()[0].text;
    EXPECT_NE(window->findChild<FrmResult*>(), nullptr);
    EXPECT_EQ(readFile(destination), toolOutput("-M", false, u8"vecchio è.dat"));
}

// The fourth option, "Full non merged", restored from a stored "SetType" of 3,
// runs the tool with -F, and the window stores it again.
TEST_F(WholeProgramTest, FullNonMergedStoredAsThreeRunsTheToolWithF) {
    settings->save("Options", "SetType", "3");
    {
        FrmMain& frm = open();
        EXPECT_TRUE(control<QRadioButton>(frm, "optSetType(3)")->isChecked());
        const fs::path destination = pressCreaDiffDat(frm, -1, false);
        EXPECT_TRUE(ui.messages().empty());
        EXPECT_EQ(readFile(destination), toolOutput("-F"));
        frm.show();
        closeWindow();
    }
    EXPECT_EQ(stored("Options", "SetType"), "3");
}

// Two dats that do not differ: the tool writes no diff dat, and the window
// shows the counts with nothing to download, leaving the destination alone.
TEST_F(WholeProgramTest, NothingDiffersShowsTheCountsAndDeliversNothing) {
    addDat("new.dat", oldDat);
    FrmMain& frm = open();
    const fs::path destination = pressCreaDiffDat(frm, 0, false);

    EXPECT_TRUE(ui.messages().empty());
    const auto* result = frm.findChild<FrmResult*>();
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(control<QLabel>(*result, "lblSummary")->text().startsWith("Aggiunti: 0   Rimossi: 0"));
    EXPECT_TRUE(control<QLabel>(*result, "lblDestination")->text().contains("nulla da scaricare"));
    EXPECT_FALSE(fs::exists(destination));
}

std::string choiceName(const ::testing::TestParamInfo<DiffChoice>& info) {
    static const char* const kSetTypeNames[] = {"Split", "Merged", "NonMerged"};
    return std::string(kSetTypeNames[info.param.setType]) + (info.param.compact ? "Compact" : "");
}

INSTANTIATE_TEST_SUITE_P(EverySetType, WholeProgramTest,
                         ::testing::Values(DiffChoice{0, false, "-S"}, DiffChoice{0, true, "-S"},
                                           DiffChoice{1, false, "-M"}, DiffChoice{1, true, "-M"},
                                           DiffChoice{2, false, "-N"}, DiffChoice{2, true, "-N"}),
                         choiceName);

}  // namespace
}  // namespace zfe::gui
