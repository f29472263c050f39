#include "gui/qt_user_interface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "gui/italian_translation.h"

namespace zfe::gui {
namespace {

// What the box looked like when it came up, and the button the "user" pressed.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    Qt::TextFormat textFormat = Qt::AutoText;  // as the box's text label shows it
    QString details;
    Qt::CursorShape cursor = Qt::BlankCursor;  // the application's override, if any
};

core::MessageAnswer showAndPress(const core::Message& message, QMessageBox::StandardButton press,
                           SeenBox& seen) {
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            ADD_FAILURE() << "no message box came up";
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons.append(box->standardButton(button));
        }
        seen.defaultButton = box->standardButton(box->defaultButton());
        if (const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            seen.textFormat = label->textFormat();
        }
        seen.details = box->detailedText();
        if (const QCursor* cursor = QApplication::overrideCursor()) seen.cursor = cursor->shape();
        box->button(press)->click();
    });
    QtUserInterface ui;
    return ui.showMessage(message);
}

TEST(QtUserInterface, QuestionWithYesAndNoAndYesAsDefault) {
    core::Message question;
    question.text = "Eliminare il file \"m.dat\" ?";
    question.icon = core::MessageIcon::Question;
    question.buttons = core::MessageButtons::YesNo;
    question.defaultButton = core::MessageAnswer::Yes;

    SeenBox seen;
    EXPECT_EQ(showAndPress(question, QMessageBox::No, seen), core::MessageAnswer::No);
    EXPECT_EQ(seen.title, QStringLiteral("ZandorelFE"));
    EXPECT_EQ(seen.text, QStringLiteral("Eliminare il file \"m.dat\" ?"));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons.size(), 2);
    EXPECT_TRUE(seen.buttons.contains(QMessageBox::Yes));
    EXPECT_TRUE(seen.buttons.contains(QMessageBox::No));
    EXPECT_EQ(seen.defaultButton, QMessageBox::Yes);

    SeenBox again;
    EXPECT_EQ(showAndPress(question, QMessageBox::Yes, again), core::MessageAnswer::Yes);
}

TEST(QtUserInterface, WarningWithOkOnlyAndTwoLines) {
    SeenBox seen;
    EXPECT_EQ(showAndPress(core::warningMessage("prima riga\r\nseconda riga"), QMessageBox::Ok, seen),
              core::MessageAnswer::Ok);
    EXPECT_EQ(seen.title, QStringLiteral("Attenzione..."));
    EXPECT_EQ(seen.text, QStringLiteral("prima riga\nseconda riga"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});

    SeenBox critical;
    showAndPress(core::criticalMessage("x"), QMessageBox::Ok, critical);
    EXPECT_EQ(critical.icon, QMessageBox::Critical);
    EXPECT_EQ(critical.title, QStringLiteral("ZandorelFE"));
}

TEST(QtUserInterface, NamesAreShownAsPlainTextAndDetailsBelow) {
    SeenBox seen;
    core::Message question;
    question.text = "Eliminare il file \"<b>keep.dat<!--.dat\" ?";
    showAndPress(question, QMessageBox::Ok, seen);
    EXPECT_EQ(seen.text, QString::fromStdString(question.text));
    EXPECT_EQ(seen.textFormat, Qt::PlainText);
    EXPECT_EQ(seen.details, QString());

    SeenBox delivered;
    showAndPress(core::informationMessage("fatto", "riga 1\r\nSummary: 1 added\r\n"), QMessageBox::Ok, delivered);
    EXPECT_EQ(delivered.icon, QMessageBox::Information);
    EXPECT_EQ(delivered.details, QStringLiteral("riga 1\nSummary: 1 added\n"));
}

// A box that a long operation shows (its outcome, a question) takes the
// pointer as usual; the wait cursor comes back after it.
TEST(QtUserInterface, BoxDuringALongOperationShowsTheArrow) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SeenBox seen;
    showAndPress(core::informationMessage("fatto"), QMessageBox::Ok, seen);
    EXPECT_EQ(seen.cursor, Qt::ArrowCursor);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QApplication::restoreOverrideCursor();
}

TEST(QtUserInterface, FilterTextNamesItsPatternOnce) {
    EXPECT_EQ(qtFilterText({"Eseguibile (*.exe)", "*.exe"}), QStringLiteral("Eseguibile (*.exe)"));
    EXPECT_EQ(qtFilterText({"Eseguibile (*)", "*"}), QStringLiteral("Eseguibile (*)"));
    EXPECT_EQ(qtFilterText({"Dat", "*.dat"}), QStringLiteral("Dat (*.dat)"));
}

TEST(ItalianTranslation, StandardButtonsSpeakItalianWhenInstalled) {
    const QString file =
        QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_it.qm");
    if (!QFile::exists(file)) {
        GTEST_SKIP() << "Qt's Italian translation is not installed";
    }
    QTranslator translator;
    ASSERT_TRUE(installItalianTranslation(translator));
    QMessageBox box(QMessageBox::Question, QString(), QString(),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Sì"));
    QCoreApplication::removeTranslator(&translator);
}

}  // namespace
}  // namespace zfe::gui
