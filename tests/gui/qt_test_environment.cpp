// Every widget test needs one QApplication for the whole run, on the platform
// that QT_QPA_PLATFORM names, else on "offscreen". The platform is handed over
// as QApplication's "-platform" argument: under Wine the variable of the Unix
// environment does not reach Qt. The test mode of QStandardPaths keeps any
// QSettings that a test forgets to redirect away from the real user's files.
//
// The layout tests need the same fonts on both platforms. On Linux the
// offscreen platform takes them from fontconfig; on Windows it reads the font
// files of one folder (QT_QPA_FONTDIR), and without one it has none and lays
// the captions out in boxes. The test run gives it the folder that fontconfig
// has here (ZFE_TEST_FONT_DIR). Both screens have 96 dots per inch.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QStandardPaths>
#include <memory>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        QStandardPaths::setTestModeEnabled(true);
        platform_ = qgetenv("QT_QPA_PLATFORM");
        if (platform_.isEmpty()) {
            platform_ = "offscreen";
        }
        argv_[2] = platform_.data();
#if defined(_WIN32) && defined(ZFE_TEST_FONT_DIR)
        if (qgetenv("QT_QPA_FONTDIR").isEmpty()) qputenv("QT_QPA_FONTDIR", ZFE_TEST_FONT_DIR);
#endif
        application_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { application_.reset(); }

private:
    int argc_ = 3;
    char name_[16] = "zfe_app_ui_test";
    char platformOption_[10] = "-platform";
    QByteArray platform_;
    char* argv_[4] = {name_, platformOption_, nullptr, nullptr};
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
