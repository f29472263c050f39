#include "gui/file_list_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QStyleFactory>
#include <QVBoxLayout>
#include <filesystem>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#endif

#include "tests/support/app_folder.h"
#include "support/temp_folder.h"

namespace zfe::gui {
namespace {

using testsupport::writeFile;

class FileListBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = dir.path();
    }
    std::filesystem::path file(const std::string& name) const { return folder / name; }

    testsupport::TempFolder dir;
    std::filesystem::path folder;
    FileListBox list;
};

TEST_F(FileListBoxTest, MatchesThePatternInAnyCaseSortedWithoutCaseHiddenLeftOut) {
    // Hidden by the platform's rule: the hidden attribute, or a leading dot.
#ifdef _WIN32
    const char* const hidden = "hidden.dat";
#else
    const char* const hidden = ".hidden.dat";
#endif
    for (const char* name : {"b.DAT", "a.dat", "C.Dat", "notes.txt", "x.dat.bak", hidden}) {
        writeFile(file(name), "x");
    }
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesW(file(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN));
#endif
    std::filesystem::create_directory(file("folder.dat"));
    QStringList expected{"a.dat", "b.DAT", "C.Dat"};
#ifndef _WIN32
    // (Windows makes links only with a privilege that a test run may lack.)
    std::filesystem::create_symlink(file("a.dat"), file("link.dat"));
    expected << QStringLiteral("link.dat");
#endif

    list.setPattern(QStringLiteral("*.dat"));
    list.setFolder(folder.string() + "/");
    EXPECT_EQ(list.fileNames(), expected);
    EXPECT_EQ(list.folder(), folder.string());
    EXPECT_EQ(list.selectedIndex(), -1);
    EXPECT_EQ(list.selectedFileName(), "");
}

TEST_F(FileListBoxTest, SeveralPatterns) {
    for (const char* name : {"a.dat", "b.xml", "c.txt"}) writeFile(file(name), "x");
    list.setFolder(folder.string());
    list.setPattern(QStringLiteral("*.dat;*.XML"));
    EXPECT_EQ(list.fileNames(), (QStringList{"a.dat", "b.xml"}));
}

#ifndef _WIN32
// Linux names are bytes: one that is not UTF-8 shows as well as it can and
// still names its file, also across a refresh.
TEST_F(FileListBoxTest, NameThatIsNotUtf8IsListedAndKeepsItsBytes) {
    const std::string latin1 = "caf\xe9.dat";
    writeFile(folder / latin1, "x");
    writeFile(file("b.dat"), "x");
    list.setPattern(QStringLiteral("*.dat"));
    list.setFolder(folder.string());
    ASSERT_EQ(list.fileNames().size(), 2);
    EXPECT_EQ(list.fileNames()[1], QStringLiteral("caf\uFFFD.dat"));
    list.setSelectedIndex(1);
    EXPECT_EQ(list.selectedFileName(), latin1);
    writeFile(file("a.dat"), "x");
    list.refresh();
    EXPECT_EQ(list.selectedFileName(), latin1);
    EXPECT_TRUE(std::filesystem::exists(folder / list.selectedFileName()));
}
#endif

TEST_F(FileListBoxTest, FolderChangesShowOnlyAtRefresh) {
    writeFile(file("a.dat"), "x");
    writeFile(file("b.dat"), "x");
    list.setPattern(QStringLiteral("*.dat"));
    list.setFolder(folder.string());
    list.setSelectedIndex(1);
    EXPECT_EQ(list.selectedFileName(), "b.dat");

    writeFile(file("0.dat"), "x");
    EXPECT_EQ(list.count(), 2);
    list.refresh();
    EXPECT_EQ(list.fileNames(), (QStringList{"0.dat", "a.dat", "b.dat"}));
    // The selection follows its file.
    EXPECT_EQ(list.selectedIndex(), 2);
    EXPECT_EQ(list.selectedFileName(), "b.dat");

    std::filesystem::remove(file("b.dat"));
    list.refresh();
    EXPECT_EQ(list.selectedIndex(), -1);
    EXPECT_EQ(list.selectedFileName(), "");
}

TEST_F(FileListBoxTest, MissingFolderShowsNothing) {
    list.setPattern(QStringLiteral("*.dat"));
    list.setFolder((folder / "missing").string());
    EXPECT_EQ(list.count(), 0);
    list.refresh();
    EXPECT_EQ(list.count(), 0);
}

TEST_F(FileListBoxTest, RootKeepsItsSeparator) {
    list.setFolder("/");
    EXPECT_EQ(list.folder(), "/");
    list.setFolder("//datfiles/");
    EXPECT_EQ(list.folder(), "//datfiles");
}

// The list that has the keyboard focus shows it, with no row chosen and with
// one, under the two styles a user meets.
TEST_F(FileListBoxTest, TheFocusShowsUnderFusionAndTheWindowsStyle) {
    writeFile(file("a.dat"), "x");
    writeFile(file("b.dat"), "x");
    for (const char* styleName : {"Fusion", "Windows"}) {
        std::unique_ptr<QStyle> style(QStyleFactory::create(QString::fromLatin1(styleName)));
        ASSERT_NE(style, nullptr) << styleName;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* shown = new FileListBox(&window);
        auto* other = new QLineEdit(&window);
        layout->addWidget(shown);
        layout->addWidget(other);
        shown->setStyle(style.get());
        shown->setPattern(QStringLiteral("*.dat"));
        shown->setFolder(folder.string());
        window.show();
        QApplication::setActiveWindow(&window);
        for (const int selected : {-1, 1}) {
            shown->setSelectedIndex(selected);
            other->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            const QImage without = shown->grab().toImage();
            shown->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            ASSERT_TRUE(shown->hasFocus());
            EXPECT_NE(shown->grab().toImage(), without) << styleName << ", selected row " << selected;
        }
        shown->setStyle(nullptr);
    }
}

}  // namespace
}  // namespace zfe::gui
